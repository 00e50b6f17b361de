#pragma once
// Turning arbitrary bytes into text that is safe inside an HTML page.

#include <string>
#include <string_view>

namespace pagegen {

// `bytes` as valid UTF-8: every byte that does not start a well-formed sequence (overlong
// forms and surrogates included) becomes U+FFFD, and so does every control character
// except tab and line feed. CR LF and a lone CR become a line feed.
std::string CleanText(std::string_view bytes);

// CleanText with & < > " ' written as character references: fit for element content and
// for quoted attribute values.
std::string Escape(std::string_view bytes);

// At most `max_chars` characters of clean text, "…" appended when cut.
std::string Shorten(std::string_view text, size_t max_chars);

// A file: URL for a file name (relative names are taken from the current folder); every
// byte outside the unreserved set and "/" is percent-encoded.
std::string FileUrl(std::string_view file_name);

}  // namespace pagegen

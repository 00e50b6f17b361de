// Feeds arbitrary bytes to the registry file reader. Besides crashes, leaks and hangs it
// looks for a line that takes other values with it: a value under a key of its own, put
// behind whatever the input holds, must always be found.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/posix/reg_file.h"

namespace {

// The text in the input's encoding: UTF-16LE behind a byte order mark, else bytes.
std::string Encoded(std::string_view text, bool wide) {
  if (!wide) return std::string(text);
  std::string out;
  for (char c : text) out += {c, '\0'};
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  const jr::RegFileContents alone = jr::RegFileContents::Parse(text);
  for (const std::string& problem : alone.problems()) fuzz::Require(problem.starts_with("line "));

  const bool wide = text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE';
  // An odd byte at the end of a wide text would pair with the probe's first.
  if (wide && text.size() % 2 == 1) text += '\0';
  // A blank line ends a byte list continued over lines, as it would in a real file.
  text += Encoded("\r\n\n[HKEY_LOCAL_MACHINE\\Fuzz\\Probe]\n\"Probe\"=\"found\"\n", wide);
  const jr::RegFileContents probed = jr::RegFileContents::Parse(text);
  if (probed.problems().empty() || !probed.problems().front().starts_with("line 1: not a")) {
    const std::optional<jr::RegistryValue> value = probed.Find("fuzz\\PROBE", "probe");
    fuzz::Require(value && value->type == jr::kRegSz &&
                  std::string(value->data.begin(), value->data.end()) == std::string("found", 6));
  }
  return 0;
}

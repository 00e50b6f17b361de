#include "pugixml.hpp"

#include "platform/utf8.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <string_view>

namespace pugi {
namespace impl {

struct arena;

struct attribute_record {
  std::string name;
  std::string value;
  attribute_record* next = nullptr;
};

struct node_record {
  xml_node_type type = node_null;
  std::string name;
  std::string value;
  arena* owner = nullptr;
  node_record* parent = nullptr;
  node_record* first_child = nullptr;
  node_record* last_child = nullptr;
  node_record* next_sibling = nullptr;
  attribute_record* first_attribute = nullptr;
  attribute_record* last_attribute = nullptr;
};

// Every node and attribute of a document lives here and goes with it: no tree walk is
// needed to free a document, however deeply it nests.
struct arena {
  std::deque<node_record> nodes;
  std::deque<attribute_record> attributes;

  node_record* new_node(xml_node_type type, node_record* parent) {
    node_record& node = nodes.emplace_back();
    node.type = type;
    node.owner = this;
    node.parent = parent;
    if (parent != nullptr) {
      if (parent->last_child != nullptr) {
        parent->last_child->next_sibling = &node;
      } else {
        parent->first_child = &node;
      }
      parent->last_child = &node;
    }
    return &node;
  }

  attribute_record* new_attribute(node_record* node) {
    attribute_record& attribute = attributes.emplace_back();
    if (node->last_attribute != nullptr) {
      node->last_attribute->next = &attribute;
    } else {
      node->first_attribute = &attribute;
    }
    node->last_attribute = &attribute;
    return &attribute;
  }
};

namespace {

using jr::AppendUtf8;

bool StartsWith(std::string_view text, size_t at, std::string_view prefix) {
  return text.compare(at, prefix.size(), prefix) == 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// ---- Encodings -------------------------------------------------------------------------

uint32_t Unit(const unsigned char* p, size_t width, bool big_endian) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    const size_t index = big_endian ? i : width - 1 - i;
    value = (value << 8) | p[index];
  }
  return value;
}

std::string FromUtf16(const unsigned char* data, size_t size, bool big_endian) {
  std::string out;
  for (size_t i = 0; i + 1 < size; i += 2) {
    uint32_t unit = Unit(data + i, 2, big_endian);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < size) {
      const uint32_t low = Unit(data + i + 2, 2, big_endian);
      if (low >= 0xDC00 && low < 0xE000) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(out, unit);
  }
  return out;
}

std::string FromUtf32(const unsigned char* data, size_t size, bool big_endian) {
  std::string out;
  for (size_t i = 0; i + 3 < size; i += 4) {
    const uint32_t code = Unit(data + i, 4, big_endian);
    AppendUtf8(out, code > 0x10FFFF ? 0xFFFD : code);
  }
  return out;
}

std::string FromLatin1(const unsigned char* data, size_t size) {
  std::string out;
  for (size_t i = 0; i < size; ++i) AppendUtf8(out, data[i]);
  return out;
}

bool DeclaresLatin1(std::string_view text) {
  if (!StartsWith(text, 0, "<?xml")) return false;
  const size_t end = text.find("?>");
  const std::string_view declaration = text.substr(0, end);
  const size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return false;
  const size_t open = declaration.find_first_of("\"'", at);
  if (open == std::string_view::npos) return false;
  const size_t close = declaration.find(declaration[open], open + 1);
  if (close == std::string_view::npos) return false;
  const std::string_view name = declaration.substr(open + 1, close - open - 1);
  return EqualsNoCase(name, "ISO-8859-1") || EqualsNoCase(name, "ISO8859-1") ||
         EqualsNoCase(name, "latin1");
}

// The buffer as UTF-8, its encoding told by a byte order mark or the bytes of "<?".
std::string ToUtf8(const void* contents, size_t size, xml_encoding encoding, xml_encoding& found) {
  const auto* d = static_cast<const unsigned char*>(contents);
  auto at = [&](size_t i) -> int { return i < size ? d[i] : -1; };
  if (encoding == encoding_auto) {
    if (at(0) == 0 && at(1) == 0 && at(2) == 0xFE && at(3) == 0xFF) {
      encoding = encoding_utf32_be;
    } else if (at(0) == 0xFF && at(1) == 0xFE && at(2) == 0 && at(3) == 0) {
      encoding = encoding_utf32_le;
    } else if (at(0) == 0xFE && at(1) == 0xFF) {
      encoding = encoding_utf16_be;
    } else if (at(0) == 0xFF && at(1) == 0xFE) {
      encoding = encoding_utf16_le;
    } else if (at(0) == 0 && at(1) == 0 && at(2) == 0 && at(3) == '<') {
      encoding = encoding_utf32_be;
    } else if (at(0) == '<' && at(1) == 0 && at(2) == 0 && at(3) == 0) {
      encoding = encoding_utf32_le;
    } else if (at(0) == 0 && at(1) == '<' && at(2) == 0 && at(3) == '?') {
      encoding = encoding_utf16_be;
    } else if (at(0) == '<' && at(1) == 0 && at(2) == '?' && at(3) == 0) {
      encoding = encoding_utf16_le;
    } else if (DeclaresLatin1(std::string_view(reinterpret_cast<const char*>(d), size))) {
      encoding = encoding_latin1;
    } else {
      encoding = encoding_utf8;
    }
  }
  if (encoding == encoding_utf16 || encoding == encoding_wchar) encoding = encoding_utf16_le;
  if (encoding == encoding_utf32) encoding = encoding_utf32_le;
  found = encoding;

  std::string text;
  switch (encoding) {
    case encoding_utf16_le:
    case encoding_utf16_be:
      text = FromUtf16(d, size, encoding == encoding_utf16_be);
      if (StartsWith(text, 0, "\xEF\xBB\xBF")) text.erase(0, 3);
      return text;
    case encoding_utf32_le:
    case encoding_utf32_be:
      text = FromUtf32(d, size, encoding == encoding_utf32_be);
      if (StartsWith(text, 0, "\xEF\xBB\xBF")) text.erase(0, 3);
      return text;
    case encoding_latin1:
      return FromLatin1(d, size);
    default:
      text.assign(reinterpret_cast<const char*>(d), size);
      if (StartsWith(text, 0, "\xEF\xBB\xBF")) text.erase(0, 3);
      return text;
  }
}

// ---- Parsing ---------------------------------------------------------------------------

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// The predefined entities and character references; anything else stays as written.
std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const size_t semicolon = text.find(';', i);
    if (semicolon == std::string_view::npos) {
      out += text[i];
      continue;
    }
    const std::string_view entity = text.substr(i + 1, semicolon - i - 1);
    if (entity == "lt") {
      out += '<';
    } else if (entity == "gt") {
      out += '>';
    } else if (entity == "amp") {
      out += '&';
    } else if (entity == "apos") {
      out += '\'';
    } else if (entity == "quot") {
      out += '"';
    } else if (entity.size() >= 2 && entity[0] == '#') {
      const bool hex = entity[1] == 'x';
      const std::string_view digits = entity.substr(hex ? 2 : 1);
      uint32_t code = 0;
      bool valid = !digits.empty() && digits.size() <= 8;
      for (char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) valid = false;
        if (valid) code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
      }
      if (!valid || code > 0x10FFFF) {
        out += text[i];
        continue;
      }
      AppendUtf8(out, code);
    } else {
      out += text[i];
      continue;
    }
    i = semicolon;
  }
  return out;
}

// CR LF and a lone CR become LF.
std::string NormalizeEol(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Tabs and line breaks in attribute values are read as blanks, CR LF as one.
std::string WhitespaceToBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += ' ';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\t' || c == '\n') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

class Parser {
 public:
  Parser(std::string_view text, unsigned options, arena& nodes, node_record* document)
      : text_(text), options_(options), arena_(nodes), document_(document) {}

  xml_parse_result Run() {
    node_record* cursor = document_;
    while (at_ < text_.size()) {
      if (text_[at_] != '<') {
        const size_t end = std::min(text_.find('<', at_), text_.size());
        if (cursor != document_) AddText(cursor, text_.substr(at_, end - at_));
        at_ = end;
        continue;
      }
      const size_t tag = at_;
      ++at_;
      xml_parse_status status = status_ok;
      if (at_ >= text_.size()) {
        status = status_unrecognized_tag;
      } else if (text_[at_] == '?') {
        status = ParseQuestion(cursor);
      } else if (text_[at_] == '!') {
        status = ParseExclamation(cursor);
      } else if (text_[at_] == '/') {
        status = ParseEndTag(cursor);
      } else if (IsNameStart(text_[at_])) {
        status = ParseStartTag(cursor);
      } else {
        status = status_unrecognized_tag;
      }
      if (status != status_ok) return Fail(status, tag);
    }
    if (cursor != document_) return Fail(status_end_element_mismatch, text_.size());
    for (node_record* node = document_->first_child; node; node = node->next_sibling) {
      if (node->type == node_element) return Fail(status_ok, 0);
    }
    return Fail(status_no_document_element, text_.size());
  }

 private:
  xml_parse_result Fail(xml_parse_status status, size_t offset) {
    xml_parse_result result;
    result.status = status;
    result.offset = static_cast<std::ptrdiff_t>(offset);
    return result;
  }

  bool Set(unsigned flag) const { return (options_ & flag) != 0; }

  void AddText(node_record* parent, std::string_view raw) {
    if (!Set(parse_ws_pcdata)) {
      bool blank = true;
      for (char c : raw) blank = blank && IsSpace(c);
      if (blank) return;
    }
    std::string value(raw);
    if (Set(parse_eol)) value = NormalizeEol(value);
    if (Set(parse_escapes)) value = Unescape(value);
    arena_.new_node(node_pcdata, parent)->value = std::move(value);
  }

  std::string_view Name() {
    const size_t start = at_;
    if (at_ < text_.size() && IsNameStart(text_[at_])) {
      while (at_ < text_.size() && IsNameChar(text_[at_])) ++at_;
    }
    return text_.substr(start, at_ - start);
  }

  void SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }

  // <?xml ...?> and <?target ...?>
  xml_parse_status ParseQuestion(node_record* cursor) {
    ++at_;
    const std::string_view target = Name();
    if (target.empty()) return status_bad_pi;
    const bool declaration = EqualsNoCase(target, "xml");
    if (declaration && cursor != document_) return status_bad_pi;
    if (at_ < text_.size() && !IsSpace(text_[at_]) && text_[at_] != '?') return status_bad_pi;
    const size_t end = text_.find("?>", at_);
    if (end == std::string_view::npos) return status_bad_pi;
    SkipSpace();
    const std::string_view content = text_.substr(std::min(at_, end), end - std::min(at_, end));
    at_ = end + 2;
    if (declaration && Set(parse_declaration)) {
      node_record* node = arena_.new_node(node_declaration, cursor);
      node->name = std::string(target);
      node->value = std::string(content);
    } else if (!declaration && Set(parse_pi)) {
      node_record* node = arena_.new_node(node_pi, cursor);
      node->name = std::string(target);
      node->value = Set(parse_eol) ? NormalizeEol(content) : std::string(content);
    }
    return status_ok;
  }

  xml_parse_status ParseExclamation(node_record* cursor) {
    ++at_;
    if (StartsWith(text_, at_, "--")) {
      const size_t end = text_.find("-->", at_ + 2);
      if (end == std::string_view::npos) return status_bad_comment;
      if (Set(parse_comments)) {
        const std::string_view content = text_.substr(at_ + 2, end - at_ - 2);
        arena_.new_node(node_comment, cursor)->value =
            Set(parse_eol) ? NormalizeEol(content) : std::string(content);
      }
      at_ = end + 3;
      return status_ok;
    }
    if (StartsWith(text_, at_, "-")) return status_bad_comment;
    if (StartsWith(text_, at_, "[")) {
      if (!StartsWith(text_, at_, "[CDATA[")) return status_bad_cdata;
      const size_t end = text_.find("]]>", at_ + 7);
      if (end == std::string_view::npos) return status_bad_cdata;
      if (Set(parse_cdata)) {
        const std::string_view content = text_.substr(at_ + 7, end - at_ - 7);
        arena_.new_node(node_cdata, cursor)->value =
            Set(parse_eol) ? NormalizeEol(content) : std::string(content);
      }
      at_ = end + 3;
      return status_ok;
    }
    if (StartsWith(text_, at_, "DOCTYPE")) {
      if (cursor != document_) return status_bad_doctype;
      return ParseDoctype(cursor);
    }
    return status_unrecognized_tag;
  }

  // The document type is kept as text and never interpreted. Its internal subset may
  // nest markup and brackets; counting them (rather than descending into them) keeps any
  // depth of nesting harmless.
  xml_parse_status ParseDoctype(node_record* cursor) {
    at_ += 7;
    SkipSpace();
    const size_t start = at_;
    size_t angles = 0;
    size_t brackets = 0;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '"' || c == '\'') {
        const size_t close = text_.find(c, at_ + 1);
        if (close == std::string_view::npos) return status_bad_doctype;
        at_ = close + 1;
        continue;
      }
      if (StartsWith(text_, at_, "<!--")) {
        const size_t end = text_.find("-->", at_ + 4);
        if (end == std::string_view::npos) return status_bad_doctype;
        at_ = end + 3;
        continue;
      }
      if (c == '<') {
        ++angles;
      } else if (c == '[') {
        ++brackets;
      } else if (c == ']') {
        if (brackets == 0) return status_bad_doctype;
        --brackets;
      } else if (c == '>') {
        if (angles == 0) {
          if (brackets != 0) return status_bad_doctype;
          if (Set(parse_doctype)) {
            arena_.new_node(node_doctype, cursor)->value =
                std::string(text_.substr(start, at_ - start));
          }
          ++at_;
          return status_ok;
        }
        --angles;
      }
      ++at_;
    }
    return status_bad_doctype;
  }

  xml_parse_status ParseStartTag(node_record*& cursor) {
    node_record* element = arena_.new_node(node_element, cursor);
    element->name = std::string(Name());
    while (true) {
      const size_t before = at_;
      SkipSpace();
      if (at_ >= text_.size()) return status_bad_start_element;
      const char c = text_[at_];
      if (c == '>') {
        ++at_;
        cursor = element;
        return status_ok;
      }
      if (c == '/') {
        if (at_ + 1 >= text_.size() || text_[at_ + 1] != '>') return status_bad_start_element;
        at_ += 2;
        return status_ok;
      }
      if (!IsNameStart(c)) return status_bad_start_element;
      // An attribute must be separated from what precedes it.
      if (at_ == before) return status_bad_attribute;
      attribute_record* attribute = arena_.new_attribute(element);
      attribute->name = std::string(Name());
      SkipSpace();
      if (at_ >= text_.size() || text_[at_] != '=') return status_bad_attribute;
      ++at_;
      SkipSpace();
      if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'')) {
        return status_bad_attribute;
      }
      const char quote = text_[at_];
      const size_t close = text_.find(quote, at_ + 1);
      if (close == std::string_view::npos) return status_bad_attribute;
      std::string value(text_.substr(at_ + 1, close - at_ - 1));
      if (Set(parse_wconv_attribute)) value = WhitespaceToBlanks(value);
      if (Set(parse_escapes)) value = Unescape(value);
      attribute->value = std::move(value);
      at_ = close + 1;
      if (at_ < text_.size() && !IsSpace(text_[at_]) && text_[at_] != '/' && text_[at_] != '>') {
        return status_bad_attribute;
      }
    }
  }

  xml_parse_status ParseEndTag(node_record*& cursor) {
    ++at_;
    const std::string_view name = Name();
    if (cursor == document_ || name != cursor->name) return status_end_element_mismatch;
    SkipSpace();
    if (at_ >= text_.size() || text_[at_] != '>') return status_bad_end_element;
    ++at_;
    cursor = cursor->parent;
    return status_ok;
  }

  std::string_view text_;
  size_t at_ = 0;
  unsigned options_;
  arena& arena_;
  node_record* document_;
};

// ---- Writing ---------------------------------------------------------------------------

void Escape(std::string& out, std::string_view text, bool attribute) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>' && !attribute) {
      out += "&gt;";
    } else if (c == '"' && attribute) {
      out += "&quot;";
    } else if (u < 32 && (attribute || (c != '\t' && c != '\r' && c != '\n'))) {
      out += "&#";
      out += static_cast<char>('0' + u / 10);
      out += static_cast<char>('0' + u % 10);
      out += ';';
    } else {
      out += c;
    }
  }
}

class Writer {
 public:
  Writer(const char* indent, unsigned flags) : indent_(indent), flags_(flags) {}

  // Depth-first without recursion: a deeply nested document is written like a flat one.
  void Document(const node_record* document) {
    if (!(flags_ & format_no_declaration)) {
      bool declared = false;
      for (const node_record* n = document->first_child; n; n = n->next_sibling) {
        declared = declared || n->type == node_declaration;
      }
      if (!declared) Line(0, "<?xml version=\"1.0\"?>");
    }
    const node_record* node = document->first_child;
    size_t depth = 0;
    while (node != nullptr) {
      if (node->type == node_element && node->first_child != nullptr && !Inline(node)) {
        std::string open;
        Open(open, node);
        open += '>';
        Line(depth, open);
        node = node->first_child;
        ++depth;
        continue;
      }
      Leaf(depth, node);
      while (node != nullptr && node->next_sibling == nullptr) {
        node = node->parent;
        if (node == nullptr || node == document) {
          node = nullptr;
          break;
        }
        --depth;
        Line(depth, "</" + node->name + ">");
      }
      if (node != nullptr) node = node->next_sibling;
    }
  }

  const std::string& text() const { return out_; }

 private:
  static bool Inline(const node_record* element) {
    const node_record* child = element->first_child;
    return child->next_sibling == nullptr &&
           (child->type == node_pcdata || child->type == node_cdata);
  }

  static void Open(std::string& out, const node_record* element) {
    out += '<';
    out += element->name;
    for (const attribute_record* a = element->first_attribute; a; a = a->next) {
      out += ' ';
      out += a->name;
      out += "=\"";
      Escape(out, a->value, true);
      out += '"';
    }
  }

  static void Content(std::string& out, const node_record* node) {
    if (node->type == node_pcdata) {
      Escape(out, node->value, false);
    } else {
      out += "<![CDATA[" + node->value + "]]>";
    }
  }

  void Leaf(size_t depth, const node_record* node) {
    std::string text;
    switch (node->type) {
      case node_element:
        Open(text, node);
        if (node->first_child == nullptr) {
          text += " />";
        } else {
          text += '>';
          Content(text, node->first_child);
          text += "</" + node->name + ">";
        }
        break;
      case node_pcdata:
      case node_cdata:
        Content(text, node);
        break;
      case node_comment:
        text = "<!--" + node->value + "-->";
        break;
      case node_pi:
      case node_declaration:
        text = "<?" + node->name + (node->value.empty() ? "" : " " + node->value) + "?>";
        break;
      case node_doctype:
        text = "<!DOCTYPE " + node->value + ">";
        break;
      default:
        return;
    }
    Line(depth, text);
  }

  void Line(size_t depth, const std::string& text) {
    const bool raw = (flags_ & format_raw) || !(flags_ & format_indent);
    if (!raw) {
      for (size_t i = 0; i < depth; ++i) out_ += indent_;
    }
    out_ += text;
    if (!(flags_ & format_raw)) out_ += '\n';
  }

  std::string indent_;
  unsigned flags_;
  std::string out_;
};

}  // namespace
}  // namespace impl

const char* xml_parse_result::description() const {
  switch (status) {
    case status_ok:
      return "No error";
    case status_file_not_found:
      return "File was not found";
    case status_io_error:
      return "Error reading from file/stream";
    case status_out_of_memory:
      return "Could not allocate memory";
    case status_internal_error:
      return "Internal error occurred";
    case status_unrecognized_tag:
      return "Could not determine tag type";
    case status_bad_pi:
      return "Error parsing document declaration/processing instruction";
    case status_bad_comment:
      return "Error parsing comment";
    case status_bad_cdata:
      return "Error parsing CDATA section";
    case status_bad_doctype:
      return "Error parsing document type declaration";
    case status_bad_pcdata:
      return "Error parsing PCDATA section";
    case status_bad_start_element:
      return "Error parsing start element tag";
    case status_bad_attribute:
      return "Error parsing element attribute";
    case status_bad_end_element:
      return "Error parsing end element tag";
    case status_end_element_mismatch:
      return "Start-end tags mismatch";
    case status_append_invalid_root:
      return "Unable to append nodes: root is not an element or document";
    case status_no_document_element:
      return "No document element found";
  }
  return "Unknown error";
}

const char* xml_attribute::name() const { return record_ ? record_->name.c_str() : ""; }
const char* xml_attribute::value() const { return record_ ? record_->value.c_str() : ""; }

bool xml_attribute::set_value(const char* value) {
  if (record_ == nullptr) return false;
  record_->value = value != nullptr ? value : "";
  return true;
}

xml_attribute xml_attribute::next_attribute() const {
  return xml_attribute(record_ ? record_->next : nullptr);
}

xml_node xml_node_iterator::operator*() const { return xml_node(record_); }

xml_node_iterator& xml_node_iterator::operator++() {
  if (record_ != nullptr) record_ = record_->next_sibling;
  return *this;
}

xml_node_type xml_node::type() const { return record_ ? record_->type : node_null; }
const char* xml_node::name() const { return record_ ? record_->name.c_str() : ""; }
const char* xml_node::value() const { return record_ ? record_->value.c_str() : ""; }

xml_attribute xml_node::attribute(const char* name) const {
  if (record_ == nullptr || name == nullptr) return xml_attribute();
  for (impl::attribute_record* a = record_->first_attribute; a; a = a->next) {
    if (a->name == name) return xml_attribute(a);
  }
  return xml_attribute();
}

xml_attribute xml_node::first_attribute() const {
  return xml_attribute(record_ ? record_->first_attribute : nullptr);
}

xml_node xml_node::first_child() const {
  return xml_node(record_ ? record_->first_child : nullptr);
}

xml_node xml_node::next_sibling() const {
  return xml_node(record_ ? record_->next_sibling : nullptr);
}

xml_node xml_node::parent() const { return xml_node(record_ ? record_->parent : nullptr); }

xml_object_range xml_node::children() const {
  return {xml_node_iterator(record_ ? record_->first_child : nullptr), xml_node_iterator()};
}

xml_node xml_node::append_child(const char* name) {
  if (record_ == nullptr || (record_->type != node_document && record_->type != node_element)) {
    return xml_node();
  }
  impl::node_record* child = record_->owner->new_node(node_element, record_);
  child->name = name != nullptr ? name : "";
  return xml_node(child);
}

xml_attribute xml_node::append_attribute(const char* name) {
  if (record_ == nullptr || (record_->type != node_element && record_->type != node_declaration)) {
    return xml_attribute();
  }
  impl::attribute_record* attribute = record_->owner->new_attribute(record_);
  attribute->name = name != nullptr ? name : "";
  return xml_attribute(attribute);
}

struct xml_document::storage {
  impl::arena arena;
};

xml_document::xml_document() { reset(); }
xml_document::~xml_document() = default;

void xml_document::reset() {
  storage_ = std::make_unique<storage>();
  record_ = storage_->arena.new_node(node_document, nullptr);
}

xml_parse_result xml_document::load_buffer(const void* contents, size_t size, unsigned options,
                                           xml_encoding encoding) {
  reset();
  xml_encoding found = encoding_utf8;
  const std::string text = impl::ToUtf8(contents, size, encoding, found);
  impl::Parser parser(text, options, storage_->arena, record_);
  xml_parse_result result = parser.Run();
  result.encoding = found;
  return result;
}

void xml_document::save(xml_writer& writer, const char* indent, unsigned flags,
                        xml_encoding) const {
  impl::Writer out(indent != nullptr ? indent : "", flags);
  out.Document(record_);
  if (flags & format_write_bom) writer.write("\xEF\xBB\xBF", 3);
  writer.write(out.text().data(), out.text().size());
}

}  // namespace pugi

#pragma once
// The XML document of the Windows build: the part of the pugixml interface that the job
// file code uses, with the library's reading rules (lenient about several top-level
// elements, no entities beyond the predefined ones, whitespace-only text dropped, tabs and
// line breaks in attribute values read as blanks, line ends read as LF) and its writing
// layout (one node a line, attributes in double quotes, "<name />" for an empty element).
// The library itself is not packaged for the Windows toolchain; the other builds use it.
// Text is UTF-8; UTF-16 and UTF-32 input is recognised by its first bytes and converted.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace pugi {

enum xml_node_type {
  node_null,
  node_document,
  node_element,
  node_pcdata,
  node_cdata,
  node_comment,
  node_pi,
  node_declaration,
  node_doctype
};

const unsigned int parse_pi = 0x0001;
const unsigned int parse_comments = 0x0002;
const unsigned int parse_cdata = 0x0004;
const unsigned int parse_ws_pcdata = 0x0008;
const unsigned int parse_escapes = 0x0010;
const unsigned int parse_eol = 0x0020;
const unsigned int parse_wconv_attribute = 0x0040;
const unsigned int parse_declaration = 0x0100;
const unsigned int parse_doctype = 0x0200;
const unsigned int parse_default = parse_cdata | parse_escapes | parse_wconv_attribute | parse_eol;

enum xml_encoding {
  encoding_auto,
  encoding_utf8,
  encoding_utf16_le,
  encoding_utf16_be,
  encoding_utf16,
  encoding_utf32_le,
  encoding_utf32_be,
  encoding_utf32,
  encoding_wchar,
  encoding_latin1
};

const unsigned int format_indent = 0x01;
const unsigned int format_write_bom = 0x02;
const unsigned int format_raw = 0x04;
const unsigned int format_no_declaration = 0x08;
const unsigned int format_default = format_indent;

enum xml_parse_status {
  status_ok,
  status_file_not_found,
  status_io_error,
  status_out_of_memory,
  status_internal_error,
  status_unrecognized_tag,
  status_bad_pi,
  status_bad_comment,
  status_bad_cdata,
  status_bad_doctype,
  status_bad_pcdata,
  status_bad_start_element,
  status_bad_attribute,
  status_bad_end_element,
  status_end_element_mismatch,
  status_append_invalid_root,
  status_no_document_element
};

struct xml_parse_result {
  xml_parse_status status = status_internal_error;
  std::ptrdiff_t offset = 0;
  xml_encoding encoding = encoding_auto;
  explicit operator bool() const { return status == status_ok; }
  const char* description() const;
};

class xml_writer {
 public:
  virtual ~xml_writer() = default;
  virtual void write(const void* data, size_t size) = 0;
};

namespace impl {
struct attribute_record;
struct node_record;
}  // namespace impl

class xml_attribute {
 public:
  xml_attribute() = default;
  explicit xml_attribute(impl::attribute_record* record) : record_(record) {}
  explicit operator bool() const { return record_ != nullptr; }
  bool empty() const { return record_ == nullptr; }
  const char* name() const;
  const char* value() const;
  bool set_value(const char* value);
  xml_attribute next_attribute() const;

 private:
  impl::attribute_record* record_ = nullptr;
};

class xml_node;

class xml_node_iterator {
 public:
  explicit xml_node_iterator(impl::node_record* record = nullptr) : record_(record) {}
  xml_node operator*() const;
  xml_node_iterator& operator++();
  bool operator==(const xml_node_iterator& other) const { return record_ == other.record_; }
  bool operator!=(const xml_node_iterator& other) const { return record_ != other.record_; }

 private:
  impl::node_record* record_;
};

struct xml_object_range {
  xml_node_iterator first;
  xml_node_iterator last;
  xml_node_iterator begin() const { return first; }
  xml_node_iterator end() const { return last; }
};

class xml_node {
 public:
  xml_node() = default;
  explicit xml_node(impl::node_record* record) : record_(record) {}
  explicit operator bool() const { return record_ != nullptr; }
  bool empty() const { return record_ == nullptr; }

  xml_node_type type() const;
  // "" for a node without a name and for the null node.
  const char* name() const;
  const char* value() const;
  xml_attribute attribute(const char* name) const;
  xml_attribute first_attribute() const;
  xml_node first_child() const;
  xml_node next_sibling() const;
  xml_node parent() const;
  xml_object_range children() const;

  // A new last child element / last attribute; the null node or attribute when this node
  // cannot hold one.
  xml_node append_child(const char* name);
  xml_attribute append_attribute(const char* name);

 protected:
  impl::node_record* record_ = nullptr;
};

class xml_document : public xml_node {
 public:
  xml_document();
  ~xml_document();
  xml_document(const xml_document&) = delete;
  xml_document& operator=(const xml_document&) = delete;

  // Replaces the document's contents with the parsed buffer.
  xml_parse_result load_buffer(const void* contents, size_t size,
                               unsigned int options = parse_default,
                               xml_encoding encoding = encoding_auto);
  void save(xml_writer& writer, const char* indent = "\t", unsigned int flags = format_default,
            xml_encoding encoding = encoding_auto) const;
  void reset();

 private:
  struct storage;
  std::unique_ptr<storage> storage_;
};

}  // namespace pugi

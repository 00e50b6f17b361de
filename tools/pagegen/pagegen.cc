// pagegen DEFINITION TEMPLATE OUTPUT
//
// Renders a report definition file into an HTML template and writes the page to OUTPUT.
// The template's placeholders {{TITLE}}, {{VERDICT}}, {{SUMMARY}}, {{TIMELINE}},
// {{LINES}} and {{GENERATED}} are replaced once each place they occur; text brought in
// from the definition or from log files is never read as a placeholder.
//
// Exit status: 0 written, 2 wrong arguments, 3 definition unreadable or empty, 4 template
// unreadable, 5 the page could not be written. OUTPUT is replaced in one step, so on any
// failure an existing page stays as it was.

#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "definition.h"
#include "html_text.h"
#include "platform_io.h"
#include "timeline.h"

namespace pagegen {
namespace {

// Included files larger than this show only their end, where a failure is reported.
constexpr long long kIncludeLimit = 1024 * 1024;
// Definition files and templates larger than this are no report's; they are refused
// rather than read into memory.
constexpr long long kDefinitionLimit = 64LL * 1024 * 1024;
// Included files longer than this many lines are cut to their end in print.
constexpr size_t kPrintedLines = 60;

struct IncludedText {
  bool readable = false;
  bool missing = false;
  std::string error;
  std::string text;
  long long size = 0;
  long long left_out = 0;  // bytes before the part shown
};

IncludedText ReadIncluded(const std::string& name) {
  IncludedText result;
  FileTail tail = ReadFileTail(name, kIncludeLimit);
  result.missing = tail.missing;
  result.error = std::move(tail.error);
  if (!tail.readable) return result;
  result.size = tail.size;
  result.left_out = tail.offset;
  result.text = std::move(tail.text);
  if (result.left_out > 0) {
    // Start at a line of its own rather than in the middle of one (or of a character).
    size_t newline = result.text.find('\n');
    size_t cut = newline != std::string::npos && newline < 4096 ? newline + 1 : 0;
    while (cut == 0 && cut < result.text.size() &&
           (static_cast<unsigned char>(result.text[cut]) & 0xC0) == 0x80) {
      ++cut;
    }
    result.left_out += static_cast<long long>(cut);
    result.text.erase(0, cut);
  }
  result.readable = true;
  return result;
}

std::string ByteCount(long long bytes) {
  char buffer[64];
  if (bytes >= 1000 * 1024) {
    std::snprintf(buffer, sizeof buffer, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
  } else if (bytes >= 1024) {
    std::snprintf(buffer, sizeof buffer, "%.1f KB", static_cast<double>(bytes) / 1024);
  } else {
    std::snprintf(buffer, sizeof buffer, "%lld bytes", bytes);
  }
  return buffer;
}

std::string RenderInclude(const std::string& file) {
  std::string html =
      "<div class=\"include\">\n<div class=\"file-name\">" + Escape(file) + "</div>\n";
  if (file.find_first_not_of(' ') == std::string::npos) {
    return html + "<p class=\"note\">No file name was given for this included file.</p>\n</div>\n";
  }
  IncludedText included = ReadIncluded(file);
  if (included.missing) {
    return html + "<p class=\"note\">This file does not exist (any more); nothing to show.</p>\n" +
           "</div>\n";
  }
  if (!included.readable) {
    return html + "<p class=\"note\">This file cannot be read: " + Escape(included.error) +
           ".</p>\n</div>\n";
  }
  if (included.left_out > 0) {
    html += "<p class=\"note\">The file holds " + ByteCount(included.size) + "; only its last " +
            ByteCount(included.size - included.left_out) +
            " are shown. Open the file itself for the rest.</p>\n";
  }
  if (included.text.empty()) return html + "<p class=\"empty\">(empty file)</p>\n</div>\n";
  // The page draws the end of the last line itself; a final line break would add an
  // empty line.
  std::string_view text = included.text;
  if (text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  // A long log would fill hundreds of printed pages; print shows only its end.
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  if (lines > kPrintedLines) {
    html.replace(0, std::string_view("<div class=\"include\"").size(),
                 "<div class=\"include long\"");
    html += "<p class=\"note print-only\">Only the end of this file is printed.</p>\n";
  }
  return html + "<div class=\"log\"><pre>" + Escape(text) + "</pre></div>\n</div>\n";
}

std::string RenderLink(const Item& item) {
  const std::string text = item.text.empty() ? item.file : item.text;
  return "<p class=\"link\"><a href=\"" + Escape(FileUrl(item.file)) + "\">" + Escape(text) +
         "</a> <span class=\"file-name\">" + Escape(item.file) + "</span></p>\n";
}

std::string RenderItems(const std::vector<Item>& items) {
  std::string html;
  for (const Item& item : items) {
    switch (item.kind) {
      case Item::Kind::kInclude:
        html += RenderInclude(item.file);
        break;
      case Item::Kind::kLink:
        html += RenderLink(item);
        break;
      case Item::Kind::kText:
        html += "<p>" + Escape(item.text) + "</p>\n";
        break;
    }
  }
  return html;
}

std::string Badge(Verdict verdict) {
  switch (verdict) {
    case Verdict::kOk:
      return "<span class=\"badge ok\">OK</span>";
    case Verdict::kFailed:
      return "<span class=\"badge failed\">FAILED</span>";
    case Verdict::kUnknown:
      break;
  }
  return "<span class=\"badge unknown\">?</span>";
}

std::string SectionLabel(const Section& section) {
  std::string label = section.description.empty() ? section.heading : section.description;
  if (section.repeat) label += " (repeat)";
  return label;
}

std::string RenderSection(const Section& section, size_t index) {
  const char* verdict_class = section.verdict == Verdict::kOk       ? "ok"
                              : section.verdict == Verdict::kFailed ? "failed"
                                                                    : "unknown";
  std::string html = "<section class=\"jobline " + std::string(verdict_class) + "\" id=\"line-" +
                     std::to_string(index) + "\">\n<h2>" + Badge(section.verdict) +
                     " <span class=\"description\">" +
                     Escape(section.description.empty() ? section.heading : section.description) +
                     "</span>";
  if (!section.type.empty()) html += " <span class=\"type\">" + Escape(section.type) + "</span>";
  if (section.repeat) html += " <span class=\"repeat\">Repeat</span>";
  html += "</h2>\n<table class=\"times\">\n";
  for (const Field& field : section.times) {
    html += "<tr><th>" + Escape(field.label) + "</th><td>" + Escape(field.value) + "</td></tr>\n";
  }
  if (section.start && section.end) {
    html += "<tr><th>Duration</th><td>" + Escape(FormatDuration(*section.end - *section.start)) +
            "</td></tr>\n";
  }
  html += "</table>\n" + RenderItems(section.items) + "</section>\n";
  return html;
}

std::string RenderSummary(const Definition& definition) {
  std::string html = "<table class=\"summary\">\n";
  std::optional<std::time_t> start, end;
  for (const Field& field : definition.info) {
    html += "<tr><th>" + Escape(field.label) + "</th><td>" + Escape(field.value) + "</td></tr>\n";
    if (field.label == "Start Time Job") start = ParseTimeText(field.value);
    if (field.label == "End Time Job") end = ParseTimeText(field.value);
  }
  if (start && end) {
    html += "<tr><th>Duration</th><td>" + Escape(FormatDuration(*end - *start)) + "</td></tr>\n";
  }
  return html + "</table>\n";
}

// The page's headline: the job's status where the definition gives it, else a count of
// the job lines by their outcome.
std::string RenderVerdict(const Definition& definition) {
  if (const std::string* status = definition.Info("Execution Job")) {
    const bool ok = *status == "finished without errors.";
    return "<p class=\"verdict " + std::string(ok ? "ok" : "failed") + "\">" +
           Badge(ok ? Verdict::kOk : Verdict::kFailed) + " Job " + Escape(*status) + "</p>";
  }
  if (definition.sections.empty()) {
    return "<p class=\"verdict unknown\">No job line ran.</p>";
  }
  // The administrators' definition does not carry the job's status (a failed line whose
  // repeat then succeeded is no job error), so the headline only counts, and a zero count
  // is grey rather than alarming.
  size_t failed = 0;
  for (const Section& section : definition.sections) {
    if (section.verdict == Verdict::kFailed) ++failed;
  }
  const size_t total = definition.sections.size();
  const size_t ok = total - failed;
  return "<p class=\"verdict\"><span class=\"badge " + std::string(ok > 0 ? "ok" : "unknown") +
         "\">" + std::to_string(ok) + " OK</span> <span class=\"badge " +
         std::string(failed > 0 ? "failed" : "unknown") + "\">" + std::to_string(failed) +
         " FAILED</span> of " + std::to_string(total) +
         (total == 1 ? " job line run" : " job line runs") + "</p>";
}

std::string RenderTimelineOf(const Definition& definition) {
  std::vector<TimelineBar> bars;
  for (size_t i = 0; i < definition.sections.size(); ++i) {
    const Section& section = definition.sections[i];
    if (!section.start || !section.end || *section.end < *section.start) continue;
    bars.push_back({SectionLabel(section), "line-" + std::to_string(i + 1),
                    section.verdict == Verdict::kFailed, *section.start, *section.end});
  }
  std::optional<std::time_t> start, end;
  if (const std::string* text = definition.Info("Start Time Job")) start = ParseTimeText(*text);
  if (const std::string* text = definition.Info("End Time Job")) end = ParseTimeText(*text);
  return RenderTimeline(bars, start, end);
}

std::string RenderLines(const Definition& definition) {
  std::string html = RenderItems(definition.loose_items);
  for (size_t i = 0; i < definition.sections.size(); ++i) {
    html += RenderSection(definition.sections[i], i + 1);
  }
  return html;
}

std::string Now() { return LocalNow("%Y %b %d %H:%M:%S"); }

// One pass over the template: a value is never searched for placeholders itself.
std::string Fill(const std::string& page_template,
                 const std::map<std::string, std::string>& values) {
  std::string out;
  out.reserve(page_template.size() + 4096);
  size_t at = 0;
  for (;;) {
    size_t open = page_template.find("{{", at);
    if (open == std::string::npos) break;
    size_t close = page_template.find("}}", open + 2);
    if (close == std::string::npos) break;
    auto value = values.find(page_template.substr(open + 2, close - open - 2));
    if (value == values.end()) {
      out.append(page_template, at, open + 2 - at);
      at = open + 2;
      continue;
    }
    out.append(page_template, at, open - at);
    out += value->second;
    at = close + 2;
  }
  out.append(page_template, at);
  return out;
}

int Run(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s DEFINITION TEMPLATE OUTPUT\n", argc > 0 ? argv[0] : "pagegen");
    return 2;
  }
  const std::string definition_file = argv[1], template_file = argv[2], output = argv[3];
  std::string definition_text, page_template, error;
  if (!ReadWholeFile(definition_file, kDefinitionLimit, definition_text, error)) {
    std::fprintf(stderr, "pagegen: cannot read definition %s: %s\n", definition_file.c_str(),
                 error.c_str());
    return 3;
  }
  // An empty definition is one whose writing failed (a full disk): a page made from it
  // would replace a good report with an empty one.
  if (definition_text.empty()) {
    std::fprintf(stderr, "pagegen: cannot read definition %s: it is empty\n",
                 definition_file.c_str());
    return 3;
  }
  if (!ReadWholeFile(template_file, kDefinitionLimit, page_template, error)) {
    std::fprintf(stderr, "pagegen: cannot read template %s: %s\n", template_file.c_str(),
                 error.c_str());
    return 4;
  }

  const Definition definition = ParseDefinition(definition_text);
  const std::string* description = definition.Info("Job Description");
  std::map<std::string, std::string> values;
  values["TITLE"] =
      Escape(description != nullptr && !description->empty() ? *description : "Unnamed job");
  values["VERDICT"] = RenderVerdict(definition);
  values["SUMMARY"] = RenderSummary(definition);
  values["TIMELINE"] = RenderTimelineOf(definition);
  values["LINES"] = RenderLines(definition);
  values["GENERATED"] = Escape(Now());

  if (!ReplaceFileContents(output, Fill(page_template, values), error)) {
    std::fprintf(stderr, "pagegen: cannot write %s: %s\n", output.c_str(), error.c_str());
    return 5;
  }
  return 0;
}

}  // namespace
}  // namespace pagegen

int main(int argc, char** argv) {
  // Month names in the definition may be those of the user's locale.
  std::setlocale(LC_TIME, "");
  return pagegen::Run(argc, argv);
}

#include "timeline.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "definition.h"
#include "html_text.h"

namespace pagegen {
namespace {

constexpr int kWidth = 1000;
constexpr int kLabelWidth = 300;
constexpr int kPlotLeft = kLabelWidth + 10;
constexpr int kPlotWidth = kWidth - kPlotLeft - 20;
constexpr int kAxisHeight = 30;
constexpr int kRowHeight = 24;
constexpr int kBarHeight = 16;

constexpr const char* kOkColour = "#2da44e";
constexpr const char* kFailedColour = "#cf222e";

std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

// A tick step from a short list of round figures, giving at most eight intervals.
long long TickStep(long long span) {
  static const long long kSteps[] = {1,     2,     5,     10,    15,     30,    60,
                                     120,   300,   600,   900,   1800,   3600,  7200,
                                     10800, 21600, 43200, 86400, 172800, 604800};
  for (long long step : kSteps) {
    if (span / step <= 8) return step;
  }
  return (span / 8 / 604800 + 1) * 604800;
}

std::string TickLabel(long long seconds) {
  if (seconds == 0) return "0";
  char buffer[48];
  long long h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  if (h > 0) {
    std::snprintf(buffer, sizeof buffer, m > 0 ? "+%lld h %lld min" : "+%lld h", h, m);
  } else if (m > 0) {
    std::snprintf(buffer, sizeof buffer, s > 0 ? "+%lld min %lld s" : "+%lld min", m, s);
  } else {
    std::snprintf(buffer, sizeof buffer, "+%lld s", s);
  }
  return buffer;
}

}  // namespace

int MostAtOnce(const std::vector<TimelineBar>& bars) {
  std::vector<std::pair<std::time_t, int>> events;
  for (const TimelineBar& bar : bars) {
    events.emplace_back(bar.start, +1);
    events.emplace_back(std::max(bar.end, bar.start + 1), -1);
  }
  // Ends sort before starts at the same second: a line that starts when another ends
  // did not run beside it.
  std::sort(events.begin(), events.end());
  int now = 0, most = 0;
  for (const auto& event : events) {
    now += event.second;
    most = std::max(most, now);
  }
  return most;
}

int Slowest(const std::vector<TimelineBar>& bars) {
  int slowest = -1;
  for (size_t i = 0; i < bars.size(); ++i) {
    if (slowest < 0 || bars[i].end - bars[i].start > bars[slowest].end - bars[slowest].start) {
      slowest = static_cast<int>(i);
    }
  }
  return slowest;
}

std::string RenderTimeline(const std::vector<TimelineBar>& bars,
                           std::optional<std::time_t> job_start,
                           std::optional<std::time_t> job_end) {
  if (bars.empty()) return {};
  std::time_t origin = bars.front().start, last = bars.front().end;
  for (const TimelineBar& bar : bars) {
    origin = std::min(origin, bar.start);
    last = std::max(last, bar.end);
  }
  if (job_start && *job_start < origin) origin = *job_start;
  if (job_end && *job_end > last) last = *job_end;
  const long long span = std::max<long long>(last - origin, 1);
  const auto x = [&](std::time_t t) {
    return kPlotLeft + static_cast<double>(t - origin) * kPlotWidth / static_cast<double>(span);
  };
  const int slowest = Slowest(bars);
  const int height = kAxisHeight + static_cast<int>(bars.size()) * kRowHeight + 8;

  std::string svg = "<svg class=\"timeline\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
                    std::to_string(kWidth) + " " + std::to_string(height) +
                    "\" role=\"img\" aria-label=\"Timeline of the job lines\" "
                    "font-family=\"sans-serif\" font-size=\"12\">\n";

  const long long step = TickStep(span);
  for (long long t = 0; t <= span; t += step) {
    const std::string tx = Number(x(origin + t));
    svg += "<line x1=\"" + tx + "\" y1=\"" + std::to_string(kAxisHeight - 6) + "\" x2=\"" + tx +
           "\" y2=\"" + std::to_string(height - 4) + "\" stroke=\"#d0d7de\"/>\n";
    svg += "<text x=\"" + tx + "\" y=\"" + std::to_string(kAxisHeight - 10) +
           "\" text-anchor=\"middle\" fill=\"#57606a\">" + Escape(TickLabel(t)) + "</text>\n";
  }

  for (size_t i = 0; i < bars.size(); ++i) {
    const TimelineBar& bar = bars[i];
    const bool is_slowest = static_cast<int>(i) == slowest && bars.size() > 1;
    const int row_top = kAxisHeight + static_cast<int>(i) * kRowHeight;
    const int bar_top = row_top + (kRowHeight - kBarHeight) / 2;
    const int text_y = row_top + kRowHeight / 2 + 4;
    const double left = x(bar.start);
    const double width = std::max(x(bar.end) - left, 3.0);
    const std::string duration = FormatDuration(bar.end - bar.start);

    if (i % 2 == 1) {
      svg += "<rect x=\"0\" y=\"" + std::to_string(row_top) + "\" width=\"" +
             std::to_string(kWidth) + "\" height=\"" + std::to_string(kRowHeight) +
             "\" fill=\"#f6f8fa\"/>\n";
    }
    svg += "<a href=\"#" + Escape(bar.anchor) + "\">";
    svg += "<title>" + Escape(bar.label) + " \xE2\x80\x94 " + (bar.failed ? "FAILED" : "OK") +
           ", " + Escape(duration) + "</title>";
    svg += "<text x=\"" + std::to_string(kLabelWidth) + "\" y=\"" + std::to_string(text_y) +
           "\" text-anchor=\"end\" fill=\"#24292f\"" + (is_slowest ? " font-weight=\"bold\"" : "") +
           ">" + Escape(Shorten(bar.label, 42)) + "</text>";
    svg += "<rect x=\"" + Number(left) + "\" y=\"" + std::to_string(bar_top) + "\" width=\"" +
           Number(width) + "\" height=\"" + std::to_string(kBarHeight) + "\" rx=\"3\" fill=\"" +
           (bar.failed ? kFailedColour : kOkColour) + "\"" +
           (is_slowest ? " stroke=\"#24292f\" stroke-width=\"2\"" : "") + "/>";
    // The duration goes right of the bar; at the right edge inside the bar when it is
    // wide enough, else left of it.
    const std::string label = duration + (is_slowest ? " (slowest)" : "");
    const double label_width = 7.0 * static_cast<double>(label.size()) + 8;
    const std::string weight = is_slowest ? " font-weight=\"bold\"" : "";
    if (kWidth - (left + width) > label_width) {
      svg += "<text x=\"" + Number(left + width + 6) + "\" y=\"" + std::to_string(text_y) +
             "\" fill=\"#24292f\"" + weight + ">" + Escape(label) + "</text>";
    } else if (width > label_width) {
      svg += "<text x=\"" + Number(left + width - 6) + "\" y=\"" + std::to_string(text_y) +
             "\" text-anchor=\"end\" fill=\"#ffffff\"" + weight + ">" + Escape(label) + "</text>";
    } else {
      svg += "<text x=\"" + Number(left - 6) + "\" y=\"" + std::to_string(text_y) +
             "\" text-anchor=\"end\" fill=\"#24292f\"" + weight + ">" + Escape(label) + "</text>";
    }
    svg += "</a>\n";
  }
  svg += "</svg>\n";

  std::string caption;
  if (slowest >= 0) {
    caption = "Slowest job line: <strong>" + Escape(bars[slowest].label) + "</strong> (" +
              Escape(FormatDuration(bars[slowest].end - bars[slowest].start)) + "). ";
  }
  const int most = MostAtOnce(bars);
  caption += "At most " + std::to_string(most) + (most == 1 ? " job line" : " job lines") +
             " ran at the same time.";
  return "<figure class=\"timeline\">\n" + svg + "<figcaption>" + caption +
         "</figcaption>\n</figure>\n";
}

}  // namespace pagegen

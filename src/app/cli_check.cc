#include "app/cli_check.h"

#include <cstdio>
#include <sstream>

#include "app/cli.h"
#include "engine/command_line_builder.h"
#include "platform/slurm_launcher.h"

namespace jr {
namespace {

// The length of the well-formed UTF-8 sequence at `at`, 0 when the byte there starts none
// (overlong forms and surrogates included, so that the output is valid JSON text).
size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

void AppendString(std::string& out, std::string_view text) {
  out += '"';
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(text, i);
      if (length == 0) {
        out += "\xEF\xBF\xBD";
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
}

void AppendMember(std::string& out, std::string_view name, std::string_view value) {
  AppendString(out, name);
  out += ": ";
  AppendString(out, value);
  out += ", ";
}

}  // namespace

std::string JobJson(const JobDocument& job) {
  std::string out = "{";
  AppendMember(out, "Description", job.Description);
  AppendMember(out, "LogFile", job.LogFile);
  AppendMember(out, "UserFile", job.UserFile);
  AppendMember(out, "TempLogDir", job.TempLogDir);
  out += job.LogToEventLog ? "\"LogToEventLog\": 1, " : "\"LogToEventLog\": 0, ";
  AppendMember(out, "MaxParallel", job.MaxParallel);
  out += "\"lines\": [";
  const JobLineTable& table = job.table;
  for (int row = 0; row < table.Get_BatchLine_Count(); ++row) {
    out += row == 0 ? "\n  [" : ",\n  [";
    for (int column = 0; column < JobLineTable::kColumnCount; ++column) {
      if (column) out += ", ";
      const Cell& cell = table.At(column, row);
      if (cell) {
        AppendString(out, *cell);
      } else {
        out += "null";
      }
    }
    out += ']';
  }
  out += table.Get_BatchLine_Count() ? "\n]}\n" : "]}\n";
  return out;
}

int RunCheck(const std::vector<std::string>& args) {
  std::string path;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) path += ' ';
    path += args[i];
  }
  if (path.find_first_not_of(' ') == std::string::npos) {
    std::fputs(UsageText().c_str(), stderr);
    return kExitUsage;
  }
  JobDocument job;
  const ReadResult result = ReadJobFile(path, job);
  if (result.status != ReadStatus::kLoaded) {
    std::fprintf(stderr, "Open: %s\n", result.message.c_str());
    if (!result.detail.empty()) std::fprintf(stderr, "jobrunner: %s\n", result.detail.c_str());
    return kExitBadJobFile;
  }
  // Only a hand-edited file holds one number twice; the run would leave the second line
  // out, so the administrator hears of it before cron runs the job.
  for (int32_t number : DuplicateActiveJobLineNumbers(job.table, job.table.Get_BatchLine_Count())) {
    std::fprintf(stderr,
                 "jobrunner: warning: %s: job line number %d is used by more than one active "
                 "job line; only the first one runs\n",
                 path.c_str(), number);
  }
  // Where the job lines would run, and whether they could.
  std::unique_ptr<RegistryReader> registry = MakeSystemRegistryReader();
  std::unique_ptr<LauncherProbe> probe = MakeSystemLauncherProbe();
  std::istringstream launcher(DescribeLauncher(*registry, *probe, nullptr));
  for (std::string line; std::getline(launcher, line);) {
    std::fprintf(stderr, "jobrunner: %s\n", line.c_str());
  }
  LauncherSettings settings;
  const bool runnable = ReadLauncherSettings(*registry, &settings, nullptr);
  const std::string json = JobJson(job);
  // A check whose answer was lost must not look like a passed one.
  if (std::fwrite(json.data(), 1, json.size(), stdout) != json.size() || std::fflush(stdout) != 0) {
    std::perror("jobrunner: cannot write the result");
    return kExitCannotWriteOutput;
  }
  // The file is fine, but an unattended run would refuse to start it.
  return runnable ? kExitNoErrors : kExitCannotRun;
}

}  // namespace jr

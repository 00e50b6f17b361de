// The process metadata log of the Windows build: one tab-separated line per entry,
// appended to a text file ($JOBRUNNER_METADATA_DB when set, else
// %LOCALAPPDATA%\jobrunner\metadata.tsv). The database of other builds is not available
// to this toolchain.
//
// Columns: time of the write (UTC), EntryStatus, EntryLogFile, EntryStart, EntryStop
// (UTC), EntryJobId, the number of arguments, then the arguments. Backslash, tab, CR and
// LF inside a value are written as \\, \t, \r and \n. Each line is written by one append,
// so runs that write at the same time never mix their lines.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/metadata_log.h"
#include "platform/win32/utf.h"

namespace jr {
namespace {

constexpr size_t kMaxArguments = 31;

std::string UtcText(TimePoint time) {
  using namespace std::chrono;
  const auto day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss clock(floor<seconds>(time - day));
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::string Escaped(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Field(const MetadataValue& value) {
  if (const auto* number = std::get_if<int64_t>(&value)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", *real);
    return text;
  }
  return Escaped(std::get<std::string>(value));
}

std::string SystemErrorText(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = text != nullptr ? WideToUtf8(text) : "error " + std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

// Appends `line` with one write.
Status AppendLine(const std::string& path, const std::string& line) {
  HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return Status::Failed("cannot open " + path + ": " + SystemErrorText(GetLastError()));
  }
  DWORD written = 0;
  const bool ok = line.empty() || (WriteFile(file, line.data(), static_cast<DWORD>(line.size()),
                                             &written, nullptr) &&
                                   written == line.size());
  const DWORD failure = GetLastError();
  CloseHandle(file);
  if (!ok) return Status::Failed("cannot write to " + path + ": " + SystemErrorText(failure));
  return Status::Ok();
}

class FileMetadataLog final : public ProcessMetadataLog {
 public:
  explicit FileMetadataLog(std::string path) : path_(std::move(path)) {}

  Status WriteEntry(const std::vector<MetadataValue>& arguments) override {
    if (arguments.size() > kMaxArguments) {
      return Status::Failed("cannot store an entry of " + std::to_string(arguments.size()) +
                            " arguments in " + path_ + ": at most " +
                            std::to_string(kMaxArguments));
    }
    std::string line = UtcText(std::chrono::system_clock::now()) + '\t' +
                       std::to_string(EntryStatus()) + '\t' + Escaped(EntryLogFile()) + '\t' +
                       UtcText(EntryStart()) + '\t' + UtcText(EntryStop()) + '\t' +
                       Escaped(EntryJobId()) + '\t' + std::to_string(arguments.size());
    for (const MetadataValue& argument : arguments) line += '\t' + Field(argument);
    line += "\r\n";
    return AppendLine(path_, line);
  }

 private:
  std::string path_;
};

class FileMetadataLogFactory final : public ProcessMetadataLogFactory {
 public:
  explicit FileMetadataLogFactory(std::string path) : path_(std::move(path)) {}

  Result<std::unique_ptr<ProcessMetadataLog>> Create() override {
    if (path_.empty()) {
      return Status::Failed("no place for the process metadata log (LOCALAPPDATA is not set)");
    }
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(Utf8ToWide(path_)).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    // Opening for an empty append tells at once whether entries can be stored.
    if (Status opened = AppendLine(path_, {}); !opened.ok()) return opened;
    return std::unique_ptr<ProcessMetadataLog>(std::make_unique<FileMetadataLog>(path_));
  }

 private:
  std::string path_;
};

std::string Environment(const wchar_t* name) {
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(name, buffer, sizeof buffer / sizeof buffer[0]);
  if (length == 0 || length >= sizeof buffer / sizeof buffer[0]) return {};
  return WideToUtf8(std::wstring_view(buffer, length));
}

}  // namespace

std::unique_ptr<ProcessMetadataLogFactory> MakeSystemMetadataLogFactory() {
  std::string path = Environment(L"JOBRUNNER_METADATA_DB");
  if (path.empty()) {
    const std::string local = Environment(L"LOCALAPPDATA");
    if (!local.empty()) path = local + "\\jobrunner\\metadata.tsv";
  }
  return std::make_unique<FileMetadataLogFactory>(path);
}

}  // namespace jr

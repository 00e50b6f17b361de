#include "platform/file_system.h"

#include <filesystem>
#include <fstream>

#include "platform/program_command.h"
#include "platform/regular_file.h"

namespace jr {
namespace {

namespace fs = std::filesystem;

class StdFileSystem final : public FileSystem {
 public:
  bool FileExists(const std::string& path) const override {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(fs::u8path(path), ec);
    return !path.empty() && fs::exists(status) && !fs::is_directory(status);
  }

  bool FolderExists(const std::string& path) const override {
    std::error_code ec;
    return !path.empty() && fs::is_directory(fs::u8path(path), ec);
  }

  Status RemoveFile(const std::string& path) override {
    std::error_code ec;
    fs::remove(fs::u8path(path), ec);
    if (ec) return Status::Failed("cannot delete " + path + ": " + ec.message());
    return Status::Ok();
  }

  Status CreateFolder(const std::string& path) override {
    std::error_code ec;
    if (!fs::create_directory(fs::u8path(path), ec)) {
      return Status::Failed("cannot create folder " + path + ": " +
                            (ec ? ec.message() : "it exists"));
    }
    return Status::Ok();
  }

  Status CreateFolders(const std::string& path) override {
    std::error_code ec;
    fs::create_directories(fs::u8path(path), ec);
    if (ec) return Status::Failed("cannot create folder " + path + ": " + ec.message());
    return Status::Ok();
  }

  std::string ReadFirstLine(const std::string& path) const override {
    if (path.empty()) return {};
    const FileReadResult file = ReadRegularFile(path, kFirstLineLimit, OverLimit::kCut);
    if (!file.ok()) return {};
    std::string line = file.text.substr(0, file.text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

  std::string FileStamp(const std::string& path) const override {
    std::error_code ec;
    const fs::path name = fs::u8path(path);
    const auto written = fs::last_write_time(name, ec);
    if (ec) return {};
    const auto size = fs::file_size(name, ec);
    return std::to_string(written.time_since_epoch().count()) + ":" + std::to_string(ec ? 0 : size);
  }

  Status AppendText(const std::string& path, std::string_view text) override {
    // Opening a named pipe for writing would wait for a reader; only plain files are
    // written to.
    std::error_code ec;
    const fs::file_status status = fs::status(fs::u8path(path), ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
      return Status::Failed("cannot append to " + path + ": it is not a file");
    }
    std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::app);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) return Status::Failed("cannot append to " + path);
    return Status::Ok();
  }
};

}  // namespace

FileSystem& RealFileSystem() {
  static StdFileSystem file_system;
  return file_system;
}

std::string FolderWriteProblem(const std::string& folder) {
  // The folder, or the nearest one above it that exists, from which the rest is made.
  std::error_code ec;
  fs::path nearest = fs::u8path(folder);
  while (!nearest.empty() && !fs::exists(nearest, ec)) nearest = nearest.parent_path();
  if (nearest.empty()) nearest = ".";
  const std::u8string name = nearest.u8string();
  const std::string text(name.begin(), name.end());
  if (!fs::is_directory(nearest, ec)) return "\"" + text + "\" is no folder";
  if (!MayWrite(text)) return "the folder \"" + text + "\" may not be written";
  return {};
}

}  // namespace jr

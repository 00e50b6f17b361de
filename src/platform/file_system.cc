#include "platform/file_system.h"

#include <filesystem>
#include <fstream>

namespace jr {
namespace {

namespace fs = std::filesystem;

class StdFileSystem final : public FileSystem {
 public:
  bool FileExists(const std::string& path) const override {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(fs::u8path(path), ec);
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
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in) return {};
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
};

}  // namespace

FileSystem& RealFileSystem() {
  static StdFileSystem file_system;
  return file_system;
}

}  // namespace jr

#pragma once
// File system probes of the engine, behind a seam so that tests can fail them.

#include <string>
#include <string_view>

namespace jr {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool FileExists(const std::string& path) const = 0;
  virtual bool FolderExists(const std::string& path) const = 0;
  // False with `error` set when the file exists and cannot be removed.
  virtual bool RemoveFile(const std::string& path, std::string* error) = 0;
  // Creates one folder (its parent must exist). False with `error` set on failure; an
  // existing folder is a failure too, as the caller may want to know.
  virtual bool CreateFolder(const std::string& path, std::string* error) = 0;
  // Creates a folder with its missing parents.
  virtual bool CreateFolders(const std::string& path, std::string* error) = 0;
  // The first line of a text file, without its line break; empty when it cannot be read.
  virtual std::string ReadFirstLine(const std::string& path) const = 0;
};

// The file system of the machine, through the standard library.
FileSystem& RealFileSystem();

}  // namespace jr

#pragma once
// File system probes of the engine, behind a seam so that tests can fail them.

#include <string>
#include <string_view>

#include "platform/status.h"

namespace jr {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool FileExists(const std::string& path) const = 0;
  virtual bool FolderExists(const std::string& path) const = 0;
  // Fails when the file exists and cannot be removed; a missing file is no failure.
  virtual Status RemoveFile(const std::string& path) = 0;
  // Creates one folder (its parent must exist). An existing folder is a failure too, as
  // the caller may want to know.
  virtual Status CreateFolder(const std::string& path) = 0;
  // Creates a folder with its missing parents.
  virtual Status CreateFolders(const std::string& path) = 0;
  // The first line of a text file, without its line break; empty when it cannot be read.
  virtual std::string ReadFirstLine(const std::string& path) const = 0;
};

// The file system of the machine, through the standard library.
FileSystem& RealFileSystem();

}  // namespace jr

#pragma once
// File system probes of the engine, behind a seam so that tests can fail them.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace jr {

inline constexpr size_t kFirstLineLimit = 4096;

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // True when something that is not a folder has this name: a file, a named pipe, a
  // device, or a symbolic link (dangling or not), so that an old status file of any kind
  // can be cleared away.
  virtual bool FileExists(const std::string& path) const = 0;
  virtual bool FolderExists(const std::string& path) const = 0;
  // Fails when the file exists and cannot be removed; a missing file is no failure.
  virtual Status RemoveFile(const std::string& path) = 0;
  // Creates one folder (its parent must exist). An existing folder is a failure too, as
  // the caller may want to know.
  virtual Status CreateFolder(const std::string& path) = 0;
  // Creates a folder with its missing parents.
  virtual Status CreateFolders(const std::string& path) = 0;
  // The first line of a regular file, without its line break, from at most its first
  // kFirstLineLimit bytes; empty when it cannot be read or is no regular file (a named pipe
  // is not waited on, a device not read without end).
  virtual std::string ReadFirstLine(const std::string& path) const = 0;
  // Changes whenever the file is written or replaced; empty when it does not exist. Tells
  // whether a program wrote a file between two looks.
  virtual std::string FileStamp(const std::string& path) const = 0;
  // Appends `text` to the file, creating it when it is missing.
  virtual Status AppendText(const std::string& path, std::string_view text) = 0;
};

// The file system of the machine, through the standard library.
FileSystem& RealFileSystem();

// Why files cannot be made in `folder` (or, when it is missing, why it cannot be made with
// its missing parents), as far as can be seen without making anything: the nearest folder
// on the way that exists is no folder ("\"/x/f\" is no folder") or may not be written
// ("the folder \"/x\" may not be written"). Empty when nothing is seen against it.
std::string FolderWriteProblem(const std::string& folder);

}  // namespace jr

#pragma once
// Where the tests find the built programs and the source tree, their own files, and the
// moment their made-up histories start from.

#include <chrono>
#include <string>

#include "platform/clock.h"

namespace jr::test {

// 2026-12-07 12:00 UTC.
inline constexpr TimePoint kT0{std::chrono::seconds(1796644800)};

// The folder of the built executables (jobrunner and the stand-ins).
std::string BinDir();
// The top of the source tree.
std::string SourceDir();

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);

// A fresh, empty folder below the system's temporary folder, removed when the object
// goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace jr::test

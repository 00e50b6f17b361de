// Replacing a job file on Windows: the new contents or the old file, never half of one,
// with the causes an administrator can act on.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/win32/utf.h"
#include "support/test_paths.h"

namespace jr {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::stringstream content;
  content << std::ifstream(fs::path(Utf8ToWide(path)), std::ios::binary).rdbuf();
  return content.str();
}

TEST(Win32AtomicFile, NewContentsOrTheOldFileWithTheCause) {
  test::TempDir dir;
  const std::string path = dir.path() + "\\job \xC3\xA9t\xC3\xA9.xml";
  ASSERT_TRUE(ReplaceFileContents(path, "first").ok());
  ASSERT_TRUE(ReplaceFileContents(path, std::string(3 << 20, 'x')).ok());
  EXPECT_EQ(Slurp(path).size(), size_t{3} << 20);
  ASSERT_TRUE(ReplaceFileContents(path, "old contents").ok());

  const std::string missing = dir.path() + "\\no\\folder\\job.xml";
  EXPECT_EQ(ReplaceFileContents(missing, "x").message, "Cannot write \"" + missing +
                                                           "\": the folder \"" + dir.path() +
                                                           "\\no\\folder\" does not exist.");
  EXPECT_FALSE(ReplaceFileContents(dir.path(), "x").ok());
  ASSERT_TRUE(SetFileAttributesW(Utf8ToWide(path).c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string error = ReplaceFileContents(path, "new").message;
  EXPECT_NE(error.find("no permission"), std::string::npos) << error;
  SetFileAttributesW(Utf8ToWide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(Slurp(path), "old contents");
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(Utf8ToWide(dir.path()))),
                          fs::directory_iterator()),
            1);
}

}  // namespace
}  // namespace jr

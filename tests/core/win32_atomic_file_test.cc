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
  std::string error;
  ASSERT_TRUE(ReplaceFileContents(path, "first", &error)) << error;
  ASSERT_TRUE(ReplaceFileContents(path, std::string(3 << 20, 'x'), &error)) << error;
  EXPECT_EQ(Slurp(path).size(), size_t{3} << 20);
  ASSERT_TRUE(ReplaceFileContents(path, "old contents", &error)) << error;

  const std::string missing = dir.path() + "\\no\\folder\\job.xml";
  EXPECT_FALSE(ReplaceFileContents(missing, "x", &error));
  EXPECT_EQ(error, "Cannot write \"" + missing + "\": the folder \"" + dir.path() +
                       "\\no\\folder\" does not exist.");
  EXPECT_FALSE(ReplaceFileContents(dir.path(), "x", &error));
  ASSERT_TRUE(SetFileAttributesW(Utf8ToWide(path).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(ReplaceFileContents(path, "new", &error));
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

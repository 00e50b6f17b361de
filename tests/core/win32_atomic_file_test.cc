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

TEST(Win32AtomicFile, NewContentsOrTheOldFileWithTheCause) {
  test::TempDir dir;
  const std::string path = dir.path() + "\\job \xC3\xA9t\xC3\xA9.xml";
  const std::wstring wide_path = Utf8ToWide(path);
  auto contents = [&] {
    std::stringstream content;
    content << std::ifstream(fs::path(wide_path), std::ios::binary).rdbuf();
    return content.str();
  };
  ASSERT_TRUE(ReplaceFileContents(path, "old contents").ok());

  const std::string missing = dir.path() + "\\no\\folder\\job.xml";
  EXPECT_EQ(ReplaceFileContents(missing, "x").message, "Cannot write \"" + missing +
                                                           "\": the folder \"" + dir.path() +
                                                           "\\no\\folder\" does not exist.");
  ASSERT_TRUE(SetFileAttributesW(wide_path.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string error = ReplaceFileContents(path, "new").message;
  EXPECT_NE(error.find("no permission"), std::string::npos) << error;
  SetFileAttributesW(wide_path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(contents(), "old contents");
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(Utf8ToWide(dir.path()))), {}), 1);
}

}  // namespace
}  // namespace jr

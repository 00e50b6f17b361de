// Replacing job files where the POSIX file system decides: permission bits, symbolic
// links, a file size limit standing in for a full disk.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "jobfile/job_file.h"
#include "support/test_paths.h"

namespace jr {
namespace {

namespace fs = std::filesystem;

long Entries(const std::string& folder) {
  return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

TEST(JobFileWrite, ReplacesTheFileKeepingPermissionsAndLinks) {
  test::TempDir dir;
  const std::string path = dir.File("job.xml"), link = dir.File("link.xml");
  test::WriteWholeFile(path, "old");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  fs::create_symlink(path, link);
  const WriteResult result = WriteJobFile(link, JobDocument(), "now");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(test::ReadWholeFile(path), JobFileText(JobDocument(), "now"));
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
  EXPECT_EQ(Entries(dir.path()), 2);
}

TEST(JobFileWrite, FailuresNameTheCauseAndKeepTheOldFile) {
  test::TempDir dir;
  const std::string missing = dir.File("no/folder/job.xml"), path = dir.File("job.xml");
  EXPECT_EQ(WriteJobFile(missing, JobDocument(), "now").error,
            "Cannot write \"" + missing + "\": the folder \"" + dir.File("no/folder") +
                "\" does not exist.");

  test::WriteWholeFile(path, "old contents");
  JobDocument big;
  big.Description.assign(64 * 1024, 'x');
  // A file size limit makes the write fail part-way, as a full disk does.
  rlimit old_limit, limit{4096, RLIM_INFINITY};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  limit.rlim_max = old_limit.rlim_max;
  auto old_handler = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limit);
  WriteResult result = WriteJobFile(path, big, "now");
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_NE(result.error.find("the disk is full"), std::string::npos) << result.error;

  if (geteuid() != 0) {  // permissions do not bind root
    chmod(path.c_str(), 0444);
    result = WriteJobFile(path, JobDocument(), "now");
    EXPECT_NE(result.error.find("no permission"), std::string::npos) << result.error;
  }
  EXPECT_EQ(test::ReadWholeFile(path), "old contents");
  EXPECT_EQ(Entries(dir.path()), 1);
}

}  // namespace
}  // namespace jr

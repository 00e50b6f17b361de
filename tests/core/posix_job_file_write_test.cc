// Replacing job files where the POSIX file system decides: permission bits, symbolic
// links, a file size limit standing in for a full disk.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "jobfile/job_file.h"
#include "support/test_paths.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Slurp(const std::string& path) {
  std::stringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

JobDocument SmallJob() {
  JobDocument job;
  job.Description = "Nightly";
  job.table.SetJobLineCount(1);
  job.table.Set(kColNumber, 0, "10");
  job.table.Set(kColType, 0, "Flow Runner");
  return job;
}

TEST(JobFileWrite, ReplacesTheFileKeepingPermissionsAndLinks) {
  TempDir dir;
  const std::string path = dir.File("job.xml");
  ASSERT_TRUE(WriteJobFile(path, SmallJob(), "then").ok);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const std::string link = dir.File("link.xml");
  fs::create_symlink(path, link);
  const WriteResult result = WriteJobFile(link, JobDocument(), "now");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Slurp(path), JobFileText(JobDocument(), "now"));
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(JobFileWrite, FailuresNameTheCauseAndKeepTheOldFile) {
  TempDir dir;
  const std::string missing = dir.File("no/folder/job.xml");
  WriteResult result = WriteJobFile(missing, SmallJob(), "now");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "Cannot write \"" + missing + "\": the folder \"" +
                              dir.File("no/folder") + "\" does not exist.");
  EXPECT_FALSE(WriteJobFile(dir.path(), SmallJob(), "now").ok);
  EXPECT_FALSE(WriteJobFile("", SmallJob(), "now").ok);

  const std::string path = dir.File("job.xml");
  std::ofstream(path) << "old contents";
  JobDocument big = SmallJob();
  big.Description.assign(64 * 1024, 'x');
  // A file size limit makes the write fail part-way, as a full disk does.
  rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit limit = old_limit;
  limit.rlim_cur = 4096;
  auto old_handler = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limit);
  result = WriteJobFile(path, big, "now");
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("the disk is full"), std::string::npos) << result.error;

  if (geteuid() != 0) {  // permissions do not bind root
    chmod(path.c_str(), 0444);
    result = WriteJobFile(path, SmallJob(), "now");
    EXPECT_NE(result.error.find("no permission"), std::string::npos) << result.error;
  }
  EXPECT_EQ(Slurp(path), "old contents");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace jr

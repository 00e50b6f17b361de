#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "store/run_lock_holder.h"
#include "support/test_paths.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace jr {
namespace {

TEST(RunLock, OneHolderAtATimeWhoSaysWhoItIs) {
  test::TempDir dir;
  test::WriteWholeFile(dir.File("job.xml"), "<x/>");
  const Result<std::string> path = RunLockPath(dir.File("db/metadata.sqlite"), dir.File("job.xml"));
  ASSERT_TRUE(path.ok()) << path.message();
  EXPECT_EQ(std::filesystem::path(path.value).parent_path(),
            std::filesystem::path(dir.File("db/locks")));
  EXPECT_FALSE(RunLockHolderOf(path.value).value) << "no file yet: nobody holds it";

  Result<RunLock> first = TryTakeRunLock(path.value);
  ASSERT_TRUE(first.ok()) << first.message();
  ASSERT_TRUE(first.value.held());
  RunLockHolder holder{"20261207_101500_SorelJob~42", 4711,
                       TimePoint(std::chrono::milliseconds(1765102500123)), "/srv/job.xml"};
  ASSERT_TRUE(SetRunLockHolder(first.value, holder).ok());

  EXPECT_FALSE(TryTakeRunLock(path.value).value.held());
  const std::optional<RunLockHolder> seen = RunLockHolderOf(path.value).value;
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->run_id, holder.run_id);
  EXPECT_EQ(seen->pid, 4711);
  EXPECT_EQ(seen->start, holder.start);
  EXPECT_EQ(seen->job_file, holder.job_file);
  // Asking who holds it must not have freed or taken it.
  EXPECT_FALSE(TryTakeRunLock(path.value).value.held());

  int asked = 0;
  const Result<RunLock> given_up = TakeRunLockWaiting(path.value, std::chrono::system_clock::now(),
                                                      [&asked] { return ++asked >= 2; });
  EXPECT_TRUE(given_up.ok());
  EXPECT_FALSE(given_up.value.held());

  first.value.Release();
  EXPECT_FALSE(RunLockHolderOf(path.value).value);
  // A waiter that died in the queue holds no one up.
  test::WriteWholeFile(path.value + ".queue/00000000000000000001-1.wait", "");
  EXPECT_TRUE(TakeRunLockWaiting(path.value, std::chrono::system_clock::now() - kRunLockSettle, [] {
                return true;
              }).value.held());
}

// Runs come to the queue in whatever order their start-up allows: the one asked for first
// goes first, also when it queued last. A process's own start lies a little before now.
TEST(RunLock, WaitersGoInTheOrderTheirRunsWereAskedFor) {
  const TimePoint now = std::chrono::system_clock::now();
  const TimePoint started = CurrentProcessStart();
  EXPECT_LE(started, now);
  EXPECT_GT(started, now - std::chrono::hours(1));
  EXPECT_LT(CurrentProcessStart() - started, std::chrono::milliseconds(50));

  test::TempDir dir;
  const std::string path = dir.File("job.lock");
  Result<RunLock> holder = TryTakeRunLock(path);
  ASSERT_TRUE(holder.value.held());
  std::mutex mutex;
  std::vector<std::string> order;
  const auto wait = [&](std::string name, TimePoint asked) {
    return std::thread([&, name, asked] {
      Result<RunLock> taken = TakeRunLockWaiting(path, asked, {});
      std::lock_guard<std::mutex> lock(mutex);
      order.push_back(name + (taken.value.held() ? "" : " not held"));
    });
  };
  const auto queued = [&] {
    size_t tickets = 0;
    std::error_code none_yet;
    for (std::filesystem::directory_iterator entry(path + ".queue", none_yet), end; entry != end;
         entry.increment(none_yet)) {
      tickets += entry->path().extension() == ".wait";
    }
    return tickets;
  };
  std::thread later = wait("later", now);
  while (queued() < 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::thread earlier = wait("earlier", now - std::chrono::milliseconds(100));
  while (queued() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  holder.value.Release();
  earlier.join();
  later.join();
  EXPECT_EQ(order, (std::vector<std::string>{"earlier", "later"}));

  // The lock is free: a run asked for a moment before another, and still loading when the
  // other finds it free, goes first all the same.
  order.clear();
  const TimePoint again = std::chrono::system_clock::now();
  std::thread quick = wait("quick", again);
  // Queued, or gone through at once, which the check below finds wrong.
  const auto taken_at_once = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return !order.empty();
  };
  while (queued() < 1 && !taken_at_once())
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::thread slow = wait("slow", again - std::chrono::milliseconds(100));
  slow.join();
  quick.join();
  EXPECT_EQ(order, (std::vector<std::string>{"slow", "quick"}));
}

#ifndef _WIN32
TEST(RunLock, OneJobByEveryNameAndFreedWhenItsHolderDies) {
  test::TempDir dir;
  test::WriteWholeFile(dir.File("job.xml"), "<x/>");
  std::filesystem::create_symlink(dir.File("job.xml"), dir.File("link.xml"));
  const std::string db = dir.File("metadata.sqlite");
  const std::string path = RunLockPath(db, dir.File("job.xml")).value;
  EXPECT_EQ(RunLockPath(db, dir.File("link.xml")).value, path);
  EXPECT_EQ(RunLockPath(db, dir.File("./sub/../job.xml")).value, path);
  EXPECT_NE(RunLockPath(db, dir.File("other.xml")).value, path);

  // A holder that starts a program and is then killed: the program must not keep the lock.
  int program[2];
  ASSERT_EQ(pipe(program), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    Result<RunLock> lock = TryTakeRunLock(path);
    if (!lock.value.held()) _exit(1);
    const pid_t sleeper = fork();
    if (sleeper == 0) {
      execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
      _exit(127);
    }
    [[maybe_unused]] const ssize_t told = write(program[1], &sleeper, sizeof sleeper);
    pause();
  }
  pid_t sleeper = 0;
  ASSERT_EQ(read(program[0], &sleeper, sizeof sleeper), static_cast<ssize_t>(sizeof sleeper));
  EXPECT_TRUE(RunLockHolderOf(path).value);
  EXPECT_FALSE(TryTakeRunLock(path).value.held());
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_FALSE(RunLockHolderOf(path).value);
  EXPECT_TRUE(TryTakeRunLock(path).value.held());
  kill(sleeper, SIGKILL);
  close(program[0]);
  close(program[1]);
}
#endif

}  // namespace
}  // namespace jr

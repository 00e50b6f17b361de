#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "support/run_program.h"

extern char** environ;

namespace jr::test {

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& args,
                               const std::map<std::string, std::string>& env,
                               const std::string& output_dir) {
  static int serial = 0;
  const std::string stem = output_dir + "/program-" + std::to_string(++serial);
  out_path_ = stem + ".out";
  err_path_ = stem + ".err";

  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // The test's own environment, less the names `env` sets anew.
  std::vector<std::string> env_text;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (!env.contains(text.substr(0, text.find('=')))) env_text.push_back(text);
  }
  for (const auto& [name, value] : env) env_text.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : env_text) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
}

RunningProgram::~RunningProgram() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void RunningProgram::Signal(int signal_number) {
  if (pid_ > 0) kill(pid_, signal_number);
}

ProgramOutcome RunningProgram::Wait(std::chrono::milliseconds limit) {
  ProgramOutcome outcome;
  if (pid_ <= 0) return outcome;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int raw = 0;
  while (true) {
    pid_t done = waitpid(pid_, &raw, WNOHANG);
    if (done == pid_) break;
    if (done < 0) return outcome;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &raw, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  if (WIFEXITED(raw)) outcome.status = WEXITSTATUS(raw);
  outcome.out = ReadWholeFile(out_path_);
  outcome.err = ReadWholeFile(err_path_);
  return outcome;
}

ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env,
                          const std::string& output_dir) {
  return RunningProgram(program, args, env, output_dir).Wait();
}

}  // namespace jr::test

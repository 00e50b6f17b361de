// standin: a job-line program for tests and the demo.
//
// It understands the switches the runner adds to a job line's command line
// (-StatusFile "x" -LogFile "y" -job_id "z" -Summary "s") and the positional status file,
// log file and job id a user batch file receives, and behaves as its own options say:
//
//   -sleep MS            run this long before the final status (default 0)
//   -status TEXT         final status line: ok (default), failure, or any text such as 20,30
//   -first-status TEXT   final status of a first attempt; a repeat (whose status file name
//                        holds "_Rpt") uses -status: fails once, then gets through
//   -status-early        write the final status first, then keep running for -sleep MS
//   -running-then-die    write "running", run for -sleep MS, end without a final status
//   -no-status           never write the status file
//   -no-running          do not write "running" at the start
//   -exit N              exit code (default 0)
//   -record FILE         append the command line as one JSON line to FILE
//   -grandchild MS       leave a grandchild process behind that lives MS milliseconds
//   -grandchild-pid FILE write the grandchild's pid there
//   -ignore-term         ignore SIGTERM (only SIGKILL ends it)
//
// The environment variable STANDIN_OPTIONS holds further options of the same kind; they
// come before those of the command line, so the command line wins.
//
// Status files are replaced whole (written beside and renamed), so a reader never sees a
// half-written line.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "config_mode.h"
#include "standin_platform.h"

namespace {

struct Invocation {
  std::string program;
  std::vector<std::string> arguments;  // everything after the program name, as received

  // What the runner tells the program.
  std::string status_file;
  std::string log_file;
  std::string summary_file;
  std::string job_id;
  std::vector<std::string> positionals;

  // How the program behaves.
  long sleep_ms = 0;
  std::string final_status = "ok";
  std::string first_status;  // empty: first attempts behave like repeats
  bool write_status = true;
  bool write_running = true;
  bool status_early = false;
  bool running_then_die = false;
  int exit_code = 0;
  std::string record_file;
  long grandchild_ms = -1;
  std::string grandchild_pid_file;
  bool ignore_term = false;
};

void Fail(const std::string& text) {
  std::fprintf(stderr, "standin: %s\n", text.c_str());
  std::exit(64);
}

long ParseNumber(const std::string& option, const std::string& text) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') {
    Fail(option + " needs a whole number, not \"" + text + "\"");
  }
  return value;
}

std::vector<std::string> SplitAtBlanks(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// Reads options and arguments into `inv`; later words override earlier ones.
void ParseWords(const std::vector<std::string>& words, Invocation& inv) {
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= words.size()) Fail(word + " needs a value");
      return words[++i];
    };
    if (word == "-StatusFile") {
      inv.status_file = value();
    } else if (word == "-LogFile") {
      inv.log_file = value();
    } else if (word == "-Summary") {
      inv.summary_file = value();
    } else if (word == "-job_id") {
      inv.job_id = value();
    } else if (word == "-sleep") {
      inv.sleep_ms = ParseNumber(word, value());
    } else if (word == "-status") {
      inv.final_status = value();
    } else if (word == "-first-status") {
      inv.first_status = value();
    } else if (word == "-status-early") {
      inv.status_early = true;
    } else if (word == "-running-then-die") {
      inv.running_then_die = true;
    } else if (word == "-no-status") {
      inv.write_status = false;
    } else if (word == "-no-running") {
      inv.write_running = false;
    } else if (word == "-exit") {
      inv.exit_code = static_cast<int>(ParseNumber(word, value()));
    } else if (word == "-record") {
      inv.record_file = value();
    } else if (word == "-grandchild") {
      inv.grandchild_ms = ParseNumber(word, value());
    } else if (word == "-grandchild-pid") {
      inv.grandchild_pid_file = value();
    } else if (word == "-ignore-term") {
      inv.ignore_term = true;
    } else {
      // Own options the stand-in does not know, and a batch file's positional status
      // file, log file and job id.
      inv.positionals.push_back(word);
    }
  }
}

Invocation ParseInvocation(int argc, char** argv) {
  Invocation inv;
  inv.program = argc > 0 ? argv[0] : "standin";
  for (int i = 1; i < argc; ++i) inv.arguments.emplace_back(argv[i]);
  if (const char* extra = std::getenv("STANDIN_OPTIONS")) ParseWords(SplitAtBlanks(extra), inv);
  ParseWords(inv.arguments, inv);
  // A user batch file gets its files by position, after its own options.
  std::vector<std::string> files;
  for (const std::string& word : inv.positionals) {
    if (!word.empty() && word[0] == '-') continue;
    files.push_back(word);
  }
  if (inv.status_file.empty() && files.size() >= 1) inv.status_file = files[0];
  if (inv.log_file.empty() && files.size() >= 2) inv.log_file = files[1];
  if (inv.job_id.empty() && files.size() >= 3) inv.job_id = files[2];
  if (!inv.first_status.empty() && inv.status_file.find("_Rpt") == std::string::npos) {
    inv.final_status = inv.first_status;
  }
  return inv;
}

// One append, so lines of programs running at the same time do not mix.
void AppendLine(const std::string& path, const std::string& line) {
  std::string error;
  if (!AppendText(path, line + "\n", error)) Fail(error);
}

void ReplaceFile(const std::string& path, const std::string& content) {
  if (path.empty()) return;
  std::string error;
  if (!ReplaceFileWith(path, content, error)) Fail(error);
}

void WriteStatus(const Invocation& inv, const std::string& status) {
  if (inv.write_status) ReplaceFile(inv.status_file, status + "\n");
}

void Log(const Invocation& inv, const std::string& text) {
  if (!inv.log_file.empty()) AppendLine(inv.log_file, text);
}

void Record(const Invocation& inv) {
  const nlohmann::ordered_json record = {{"program", inv.program},
                                         {"args", inv.arguments},
                                         {"pid", ProcessId()},
                                         {"pgid", ProcessGroupId()}};
  AppendLine(inv.record_file,
             record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

void LeaveGrandchild(const Invocation& inv) {
  std::string error;
  const long pid = StartGrandchild(inv.grandchild_ms, error);
  if (pid < 0) Fail(error);
  if (!inv.grandchild_pid_file.empty()) ReplaceFile(inv.grandchild_pid_file, std::to_string(pid));
}

// The normal mode: behave like a job-line program working for the runner.
int RunJob(const Invocation& inv) {
  if (!inv.record_file.empty()) Record(inv);
  if (inv.ignore_term) IgnoreTerminationRequests();
  if (inv.grandchild_ms >= 0) LeaveGrandchild(inv);
  Log(inv, "started, job id " + inv.job_id);
  if (inv.running_then_die) {
    WriteStatus(inv, "running");
    SleepMs(inv.sleep_ms);
    Log(inv, "died without a verdict");
    return inv.exit_code;
  }
  if (inv.status_early) {
    WriteStatus(inv, inv.final_status);
    SleepMs(inv.sleep_ms);
  } else {
    if (inv.write_running) WriteStatus(inv, "running");
    SleepMs(inv.sleep_ms);
    WriteStatus(inv, inv.final_status);
  }
  if (!inv.summary_file.empty()) ReplaceFile(inv.summary_file, "summary of " + inv.program + "\n");
  Log(inv, "ended with status " + inv.final_status);
  return inv.exit_code;
}

}  // namespace

int main(int argc, char** argv) {
  // The grandchild of -grandchild where a process cannot simply be forked.
  if (argc == 3 && std::string_view(argv[1]) == kGrandchildMode) {
    SleepMs(std::atol(argv[2]));
    return 0;
  }
  if (standin::IsConfigMode(argc, argv)) return standin::RunConfigMode(argc, argv);
  Invocation inv = ParseInvocation(argc, argv);
  return RunJob(inv);
}

#pragma once
// A fixture for unattended runs of the built program: a stand-in installation with its
// registry file, a job document to fill, the environment that points the program at
// temporary files, and readers for what a run left behind.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "jobfile/job_file.h"
#include "model/job_line.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace jr::test {

class UnattendedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgramOutcome made =
        RunProgram("/bin/bash", {SourceDir() + "/scripts/make-utilities.sh", dir_.path(), BinDir()},
                   {}, dir_.path());
    ASSERT_EQ(made.status, 0) << made.err;
    plain_registry_ = ReadWholeFile(dir_.File("registry.reg"));
    std::filesystem::create_directories(dir_.File("logs"));
    job_.Description = "Nightly test";
    job_.LogFile = dir_.File("admin.htm");
    job_.UserFile = dir_.File("user.htm");
    job_.TempLogDir = dir_.File("logs");
    job_.LogToEventLog = true;
    job_.MaxParallel = "4";
  }

  // Appends a line described "line N"; a batch file gets its log and status files in the
  // test folder.
  void AddLine(JobLine line) {
    const std::string number = std::to_string(line.number);
    line.description = "line " + number;
    if (!line.batch_file.empty()) {
      line.log_file = dir_.File("user_" + number + "_log.txt");
      line.status_file = dir_.File("user_" + number + "_status.txt");
    }
    AppendJobLine(job_.table, line);
  }

  // The registry file with the program's key `key` ("Launcher", "Notification") holding
  // `values`.
  void SetRegistryKey(const std::string& key, const std::string& values) {
    WriteWholeFile(dir_.File("registry.reg"),
                   plain_registry_ + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Extraction Job Runner\\" +
                       key + "]\r\n" + values);
  }

  // An executable script of that name in the test folder, holding `text`; its path.
  std::string Script(const std::string& name, const std::string& text) {
    WriteWholeFile(dir_.File(name), text);
    std::filesystem::permissions(dir_.File(name), std::filesystem::perms::owner_all);
    return dir_.File(name);
  }

  std::map<std::string, std::string> Env() const {
    return {{"JOBRUNNER_REGISTRY", dir_.File("registry.reg")},
            {"JOBRUNNER_EVENT_LOG", dir_.File("events.log")},
            {"JOBRUNNER_METADATA_DB", dir_.File("metadata.sqlite")},
            {"STANDIN_OPTIONS", "-record " + dir_.File("record.jsonl")}};
  }

  // Writes the job file and empties the log-file folder for the next run.
  std::string SaveJob() {
    const std::string path = dir_.File("job.xml");
    EXPECT_TRUE(WriteJobFile(path, job_, "2026-12-06 12:00:00").ok);
    std::filesystem::remove_all(dir_.File("logs"));
    std::filesystem::create_directories(dir_.File("logs"));
    return path;
  }

  std::string Jobrunner() const { return BinDir() + "/jobrunner"; }
  // The built program (or `program`) with the test's environment, and `extra` over it.
  ProgramOutcome Launch(const std::vector<std::string>& args,
                        std::map<std::string, std::string> extra = {},
                        const std::string& program = "") {
    extra.merge(Env());
    return RunProgram(program.empty() ? Jobrunner() : program, args, extra, dir_.path());
  }
  ProgramOutcome Run() { return Launch({SaveJob()}); }

  // `jobrunner --history WORDS --json`, parsed (a discarded value when it is no JSON).
  nlohmann::json History(const std::vector<std::string>& words) {
    std::vector<std::string> args{"--history"};
    args.insert(args.end(), words.begin(), words.end());
    args.push_back("--json");
    const ProgramOutcome outcome = Launch(args);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    return nlohmann::json::parse(outcome.out, nullptr, /*allow_exceptions=*/false);
  }

  // The one run folder below the log-file folder, with its trailing separator, and the run
  // name, from the administrators' definition file in it.
  std::string RunFolder() const {
    std::vector<std::string> folders;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.File("logs"))) {
      folders.push_back(entry.path().string() + "/");
    }
    EXPECT_EQ(folders.size(), 1u);
    return folders.empty() ? "" : folders.front();
  }
  std::string RunName() const {
    for (const auto& entry : std::filesystem::directory_iterator(RunFolder())) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with("_RepDef.txt")) return name.substr(0, name.size() - 11);
    }
    return "";
  }

  // A definition file of the run: "_RepDef.txt" (administrators) or "_UserDef.txt".
  std::string Definition(const std::string& suffix) const {
    return ReadWholeFile(RunFolder() + RunName() + suffix);
  }

  // What the run decided about its lines: the administrators' headings, in order.
  std::vector<std::string> Outcomes() const {
    std::vector<std::string> headings;
    std::istringstream text(Definition("_RepDef.txt"));
    for (std::string line; std::getline(text, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.ends_with("  :  OK") || line.ends_with("  :  FAILED")) headings.push_back(line);
    }
    return headings;
  }

  TempDir dir_;
  JobDocument job_;
  std::string plain_registry_;
};

}  // namespace jr::test

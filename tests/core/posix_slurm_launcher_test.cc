#include "platform/slurm_launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <vector>

#include "support/fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using test::TempDir;

// Records what the cluster launcher asks of the local one.
class RecordingLauncher : public ProcessLauncher {
 public:
  struct Call {
    std::string program;
    std::string arguments;
  };
  ProcessHandle Start(std::string_view program, std::string_view arguments) override {
    starts.push_back({std::string(program), std::string(arguments)});
    return next_handle;
  }
  bool IsRunning(ProcessHandle&) override { return false; }
  void Forget(ProcessHandle) override {}
  void WaitForExit(std::chrono::milliseconds) override {}
  void TerminateAll(std::chrono::milliseconds) override {}

  ProcessHandle next_handle = 4242;
  std::vector<Call> starts;
};

void WriteFile(const std::string& path, int mode) {
  std::ofstream(path) << "#!/bin/sh\nexit 0\n";
  ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

class SlurmLauncherTest : public testing::Test {
 protected:
  SlurmLauncherTest() {
    program_ = temp_.File("prog");
    WriteFile(program_, 0755);
  }

  // A cluster launcher over a recording local launcher; `local()` stays valid while it
  // lives.
  SlurmProcessLauncher Make(LauncherSettings settings = {}, std::string folder = "/shared/runs") {
    settings.type = LauncherSettings::Type::kSlurm;
    auto local = std::make_unique<RecordingLauncher>();
    local_ = local.get();
    return SlurmProcessLauncher(std::move(local), std::move(settings), std::move(folder));
  }
  RecordingLauncher& local() { return *local_; }

  // Starts a job line's program, as StartJobLine does.
  static ProcessHandle StartLine(SlurmProcessLauncher& slurm, int32_t nr, std::string_view program,
                                 std::string_view arguments) {
    slurm.SetJobLineNr(nr);
    return slurm.Start(program, arguments);
  }

  TempDir temp_;
  std::string program_;
  RecordingLauncher* local_ = nullptr;
};

TEST_F(SlurmLauncherTest, StartsTheProgramThroughSrunWithTheFixedOptionsFirst) {
  LauncherSettings settings;
  settings.partition = "batch";
  settings.arguments = "--time=10 \"--comment=nightly run\"";
  SlurmProcessLauncher slurm = Make(settings);
  slurm.SetRunName("SorelJob~123");
  slurm.SetJobLineNr(10);

  EXPECT_EQ(slurm.Start(program_, "-StatusFile \"/shared/a b.txt\" -x"), 4242);

  ASSERT_EQ(local().starts.size(), 1u);
  EXPECT_EQ(local().starts[0].program, "srun");
  EXPECT_EQ(local().starts[0].arguments,
            "--ntasks=1 --job-name=SorelJob~123_10 --chdir=/shared/runs --export=ALL --quiet "
            "--partition=batch --time=10 \"--comment=nightly run\" -- " +
                program_ + " -StatusFile \"/shared/a b.txt\" -x");
}

TEST_F(SlurmLauncherTest, ProgramsAndFoldersWithBlanksStayOneArgument) {
  TempDir spaced;
  const std::string folder = spaced.File("with blank");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const std::string program = folder + "/my prog";
  WriteFile(program, 0755);
  SlurmProcessLauncher slurm = Make({}, "/shared/run folder");

  // Unquoted, and already quoted as a job line may carry it: one argument either way.
  StartLine(slurm, 5, program, "");
  StartLine(slurm, 5, "\"" + program + "\"", " -a");

  ASSERT_EQ(local().starts.size(), 2u);
  const std::string head =
      "--ntasks=1 --job-name=jobrunner_5 \"--chdir=/shared/run folder\" --export=ALL --quiet -- ";
  EXPECT_EQ(local().starts[0].arguments, head + "\"" + program + "\"");
  // Arguments are passed as given, a leading blank included.
  EXPECT_EQ(local().starts[1].arguments, head + "\"" + program + "\"  -a");
}

TEST_F(SlurmLauncherTest, OnlyStartsNamedAsJobLinesGoToTheCluster) {
  SlurmProcessLauncher slurm = Make();
  slurm.SetRunName("SorelJob~7");
  StartLine(slurm, 20, program_, "-a");
  // The report generator after the run: no job line number, so it runs beside the runner.
  EXPECT_EQ(slurm.Start("/opt/keld/PageGen.exe", "\"def.txt\" \"tpl.htm\""), 4242);
  StartLine(slurm, 999999, program_, "");

  ASSERT_EQ(local().starts.size(), 3u);
  EXPECT_EQ(local().starts[0].program, "srun");
  EXPECT_NE(local().starts[0].arguments.find(" --job-name=SorelJob~7_20 "), std::string::npos);
  EXPECT_EQ(local().starts[1].program, "/opt/keld/PageGen.exe");
  EXPECT_EQ(local().starts[1].arguments, "\"def.txt\" \"tpl.htm\"");
  EXPECT_EQ(local().starts[2].program, "srun");
  EXPECT_NE(local().starts[2].arguments.find(" --job-name=SorelJob~7_999999 "), std::string::npos);
}

TEST_F(SlurmLauncherTest, FailsTheStartLikeTheLocalLauncherWithoutAskingTheCluster) {
  SlurmProcessLauncher slurm = Make();
  // A missing file, a missing name on PATH and a folder are not programs.
  EXPECT_EQ(StartLine(slurm, 1, temp_.File("missing"), "-a"), 0);
  EXPECT_EQ(StartLine(slurm, 1, "no-such-program-anywhere-4711", ""), 0);
  EXPECT_EQ(StartLine(slurm, 1, temp_.path(), ""), 0);
  EXPECT_EQ(StartLine(slurm, 1, "", ""), 0);
  EXPECT_TRUE(local().starts.empty());

  // srun itself cannot be started: the local launcher's 0 is the answer.
  local().next_handle = 0;
  EXPECT_EQ(StartLine(slurm, 1, program_, ""), 0);
  EXPECT_EQ(local().starts.size(), 1u);

  // The local launcher's splitting has no escape for a double quote inside an argument.
  SlurmProcessLauncher quoted_folder = Make({}, "/shared/a\"b");
  EXPECT_EQ(StartLine(quoted_folder, 1, program_, ""), 0);
  EXPECT_TRUE(local().starts.empty());
}

TEST_F(SlurmLauncherTest, FindsBareNamesOnPathAndRunsNonExecutableFilesByTheShell) {
  const std::string script = temp_.File("plain.sh");
  WriteFile(script, 0644);
  SlurmProcessLauncher slurm = Make({}, "/r");

  StartLine(slurm, 3, "sh", "-c true");
  StartLine(slurm, 3, script, "a b");

  ASSERT_EQ(local().starts.size(), 2u);
  const std::string head = "--ntasks=1 --job-name=jobrunner_3 --chdir=/r --export=ALL --quiet -- ";
  EXPECT_EQ(local().starts[0].arguments, head + "sh -c true");
  EXPECT_EQ(local().starts[1].arguments, head + "/bin/sh " + script + " a b");
}

// Settings and the launcher they select.

TEST(LauncherSettingsTest, TypeIsLocalWhenMissingAndComparesWithoutCaseOrBlanks) {
  test::MapRegistry registry;
  LauncherSettings settings;
  settings.type = LauncherSettings::Type::kSlurm;
  std::string error;
  ASSERT_TRUE(ReadLauncherSettings(registry, &settings, &error));
  EXPECT_EQ(settings.type, LauncherSettings::Type::kLocal);

  for (const char* type : {"", "local", " LOCAL "}) {
    registry.SetString(kLauncherKey, "Type", type);
    ASSERT_TRUE(ReadLauncherSettings(registry, &settings, &error)) << type;
    EXPECT_EQ(settings.type, LauncherSettings::Type::kLocal) << type;
  }

  registry.SetString(kLauncherKey, "Type", " Slurm ");
  registry.SetString(kLauncherKey, "Partition", " debug ");
  registry.SetString(kLauncherKey, "Arguments", "  --time=5 --qos=low ");
  ASSERT_TRUE(ReadLauncherSettings(registry, &settings, &error));
  EXPECT_EQ(settings.type, LauncherSettings::Type::kSlurm);
  EXPECT_EQ(settings.partition, "debug");
  EXPECT_EQ(settings.arguments, "--time=5 --qos=low");
}

TEST(LauncherSettingsTest, SelectsTheLocalLauncherItselfTheClusterAroundItOrNothing) {
  test::MapRegistry registry;
  RecordingLauncher* local = nullptr;
  int made = 0;
  auto factory = [&] {
    auto launcher = std::make_unique<RecordingLauncher>();
    local = launcher.get();
    ++made;
    return launcher;
  };
  std::string error;
  std::unique_ptr<ProcessLauncher> launcher = MakeConfiguredLauncher(registry, &error, factory);
  EXPECT_EQ(launcher.get(), local);

  registry.SetString(kLauncherKey, "Type", "slurm");
  registry.SetString(kLauncherKey, "Partition", "gpu");
  launcher = MakeConfiguredLauncher(registry, &error, factory);
  ASSERT_NE(launcher, nullptr);
  launcher->SetJobLineNr(1);
  launcher->Start("sh", "");
  ASSERT_EQ(local->starts.size(), 1u);
  EXPECT_EQ(local->starts[0].program, "srun");
  EXPECT_NE(local->starts[0].arguments.find(" --partition=gpu -- sh"), std::string::npos);

  // A run must not start with a setting nobody can tell the meaning of.
  registry.SetString(kLauncherKey, "Type", "slurmx");
  made = 0;
  EXPECT_EQ(MakeConfiguredLauncher(registry, &error, factory), nullptr);
  EXPECT_EQ(error,
            "Unknown launcher type \"slurmx\" in HKEY_LOCAL_MACHINE\\SOFTWARE\\Extraction Job "
            "Runner\\Launcher (Type must be \"local\" or \"slurm\").");
  EXPECT_EQ(made, 0);
}

// What --check prints.

class FakeProbe : public LauncherProbe {
 public:
  std::string FindOnPath(std::string_view program) override {
    auto it = found.find(std::string(program));
    return it == found.end() ? std::string() : it->second;
  }
  int Run(const std::string& program, const std::string& arguments, std::string* output) override {
    runs.push_back(program + " " + arguments);
    *output = run_output;
    return run_status;
  }

  std::map<std::string, std::string> found{{"srun", "/usr/bin/srun"}, {"sinfo", "/usr/bin/sinfo"}};
  std::string run_output;
  int run_status = 0;
  std::vector<std::string> runs;
};

// The answers of a working cluster, and what the run refuses, are seen end to end; these
// are the troubles a test machine cannot easily stage.
TEST(DescribeLauncherTest, SaysWhyJobLinesWouldNotRun) {
  test::MapRegistry registry;
  registry.SetString(kLauncherKey, "Type", "slurm");
  registry.SetString(kLauncherKey, "Partition", "gpu");
  FakeProbe probe;
  bool ok = true;

  probe.run_status = 1;
  probe.run_output =
      "slurm_load_partitions: Unable to contact slurm controller (connect failure)\nmore\n";
  EXPECT_EQ(DescribeLauncher(registry, probe, &ok),
            "Launcher: slurm (job lines run through srun, partition: gpu)\n"
            "srun: /usr/bin/srun\n"
            "error: the Slurm controller does not answer: slurm_load_partitions: Unable to "
            "contact slurm controller (connect failure)\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(probe.runs,
            std::vector<std::string>{"/usr/bin/sinfo --noheader --format=%P \"--partition=gpu\""});

  // A name the command processor would read as a command never reaches it.
  registry.SetString(kLauncherKey, "Partition", "debug; rm -rf /");
  std::string text = DescribeLauncher(registry, probe, &ok);
  EXPECT_NE(text.find("error: the partition \"debug; rm -rf /\" is no Slurm partition name\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(probe.runs.size(), 1u);

  registry.SetString(kLauncherKey, "Partition", "");
  probe.found.clear();
  ok = true;
  text = DescribeLauncher(registry, probe, &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(text.find("error: srun not found on PATH\n"), std::string::npos) << text;
  EXPECT_NE(text.find("error: sinfo not found on PATH"), std::string::npos) << text;
}

}  // namespace
}  // namespace jr

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/slurm_launcher.h"
#include "support/fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using test::TempDir;
// Records what the cluster launcher asks of the local one.
struct RecordingLauncher : ProcessLauncher {
  struct Call {
    std::string program, arguments;
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

// A cluster launcher over a recording local launcher, which `local` points at.
SlurmProcessLauncher Make(RecordingLauncher*& local, std::string folder,
                          LauncherSettings settings = {}) {
  settings.type = LauncherSettings::Type::kSlurm;
  auto recording = std::make_unique<RecordingLauncher>();
  local = recording.get();
  return SlurmProcessLauncher(std::move(recording), std::move(settings), std::move(folder));
}

TEST(SlurmLauncher, ComposesTheSrunCommandLine) {
  TempDir temp;
  const std::string program = temp.File("my prog"), plain = temp.File("plain.sh");
  WriteFile(program, 0755);
  WriteFile(plain, 0644);
  const std::string head = "--ntasks=1 --job-name=SorelJob~123_";
  const std::string quoted = "\"" + program + "\"";
  struct {
    int32_t nr;
    std::string folder, program, arguments, expected;
  } const cases[] = {
      {10, "/r", program, "-StatusFile \"/shared/a b.txt\" -x",
       head + "10 --chdir=/r --export=ALL --quiet -- " + quoted +
           " -StatusFile \"/shared/a b.txt\" -x"},
      // A folder or program with a blank stays one argument, quoted already or not;
      // arguments pass as given, a leading blank included.
      {5, "/shared/run folder", quoted, " -a",
       head + "5 \"--chdir=/shared/run folder\" --export=ALL --quiet -- " + quoted + "  -a"},
      // Bare names are found on PATH; a file that may not be executed runs by the shell.
      {999999, "/r", "sh", "-c true",
       head + "999999 --chdir=/r --export=ALL --quiet -- sh -c true"},
      {3, "/r", plain, "a b",
       head + "3 --chdir=/r --export=ALL --quiet -- /bin/sh " + plain + " a b"},
  };
  for (const auto& c : cases) {
    RecordingLauncher* local = nullptr;
    SlurmProcessLauncher slurm = Make(local, c.folder);
    slurm.SetRunName("SorelJob~123");
    slurm.SetJobLineNr(c.nr);
    EXPECT_EQ(slurm.Start(c.program, c.arguments), 4242);
    ASSERT_EQ(local->starts.size(), 1u);
    EXPECT_EQ(local->starts[0].program, "srun");
    EXPECT_EQ(local->starts[0].arguments, c.expected);
  }

  // The fixed options come first, then the partition and the administrator's own.
  LauncherSettings settings;
  settings.partition = "batch";
  settings.arguments = "--time=10 \"--comment=nightly run\"";
  RecordingLauncher* local = nullptr;
  SlurmProcessLauncher slurm = Make(local, "/r", settings);
  slurm.SetJobLineNr(1);
  slurm.Start("sh", "");
  EXPECT_EQ(local->starts[0].arguments,
            "--ntasks=1 --job-name=jobrunner_1 --chdir=/r --export=ALL --quiet "
            "--partition=batch --time=10 \"--comment=nightly run\" -- sh");
  // The report generator after the run has no job line number: it runs beside the runner.
  EXPECT_EQ(slurm.Start("/opt/keld/PageGen.exe", "\"def.txt\" \"tpl.htm\""), 4242);
  EXPECT_EQ(local->starts[1].program, "/opt/keld/PageGen.exe");
  EXPECT_EQ(local->starts[1].arguments, "\"def.txt\" \"tpl.htm\"");
}

TEST(SlurmLauncher, FailsTheStartLikeTheLocalLauncherWithoutAskingTheCluster) {
  TempDir temp;
  const std::string program = temp.File("prog");
  WriteFile(program, 0755);
  RecordingLauncher* local = nullptr;
  SlurmProcessLauncher slurm = Make(local, "/r");
  auto start_line = [](SlurmProcessLauncher& launcher, const std::string& program) {
    launcher.SetJobLineNr(1);
    return launcher.Start(program, "-a");
  };
  // A missing file, a missing name on PATH and a folder are not programs.
  for (const std::string& missing :
       {temp.File("missing"), std::string("no-such-program-anywhere-4711"), temp.path(),
        std::string()}) {
    EXPECT_EQ(start_line(slurm, missing), 0) << missing;
  }
  EXPECT_TRUE(local->starts.empty());
  // srun itself cannot be started: the local launcher's 0 is the answer.
  local->next_handle = 0;
  EXPECT_EQ(start_line(slurm, program), 0);
  EXPECT_EQ(local->starts.size(), 1u);

  // The local launcher's splitting has no escape for a double quote inside an argument.
  SlurmProcessLauncher quoted_folder = Make(local, "/shared/a\"b");
  EXPECT_EQ(start_line(quoted_folder, program), 0);
  EXPECT_TRUE(local->starts.empty());
}

// Settings and the launcher they select.

TEST(LauncherSettingsTest, ReadsTheTypeAndSelectsTheLauncherOrRefusesTheRun) {
  test::MapRegistry registry;
  LauncherSettings settings;
  std::string error;
  RecordingLauncher* local = nullptr;
  int made = 0;
  auto factory = [&] {
    auto launcher = std::make_unique<RecordingLauncher>();
    local = launcher.get();
    ++made;
    return launcher;
  };
  // Missing, empty or "local" in any case and with blanks: the local launcher itself.
  for (const char* type : {"missing", "", "local", " LOCAL "}) {
    if (std::string(type) != "missing") registry.SetString(kLauncherKey, "Type", type);
    settings.type = LauncherSettings::Type::kSlurm;
    ASSERT_TRUE(ReadLauncherSettings(registry, &settings, &error)) << type;
    EXPECT_EQ(settings.type, LauncherSettings::Type::kLocal) << type;
    std::unique_ptr<ProcessLauncher> launcher = MakeConfiguredLauncher(registry, &error, factory);
    EXPECT_EQ(launcher.get(), local) << type;
  }

  registry.SetString(kLauncherKey, "Type", " Slurm ");
  registry.SetString(kLauncherKey, "Partition", " gpu ");
  registry.SetString(kLauncherKey, "Arguments", "  --time=5 --qos=low ");
  ASSERT_TRUE(ReadLauncherSettings(registry, &settings, &error));
  EXPECT_EQ(settings.type, LauncherSettings::Type::kSlurm);
  EXPECT_EQ(settings.partition, "gpu");
  EXPECT_EQ(settings.arguments, "--time=5 --qos=low");
  std::unique_ptr<ProcessLauncher> launcher = MakeConfiguredLauncher(registry, &error, factory);
  ASSERT_NE(launcher, nullptr);
  launcher->SetJobLineNr(1);
  launcher->Start("sh", "");
  ASSERT_EQ(local->starts.size(), 1u);
  EXPECT_EQ(local->starts[0].program, "srun");
  EXPECT_NE(local->starts[0].arguments.find(" --partition=gpu --time=5 --qos=low -- sh"),
            std::string::npos);

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

struct FakeProbe : LauncherProbe {
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

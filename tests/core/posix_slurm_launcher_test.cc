#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "launch/slurm_launcher.h"
#include "platform/program_command.h"
#include "support/engine_fakes.h"
#include "support/fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

// A cluster launcher over the fake local launcher, which `local` points at.
SlurmProcessLauncher Make(test::ScriptedLauncher*& local, std::string folder,
                          LauncherSettings settings = {}) {
  settings.type = LauncherSettings::Type::kSlurm;
  auto fake = std::make_unique<test::ScriptedLauncher>();
  local = fake.get();
  return SlurmProcessLauncher(std::move(fake), std::move(settings), std::move(folder));
}

// Programs are resolved as the local launcher does, and arguments split as job lines' own
// options are, so these rows stand for both.
TEST(SlurmLauncher, ComposesTheSrunCommandLineOrFailsTheStartAsTheLocalLauncherWould) {
  test::TempDir temp;
  const std::string program = temp.File("my prog"), plain = temp.File("plain.sh");
  for (const auto& [path, mode] : {std::pair{program, 0755}, std::pair{plain, 0644}}) {
    std::ofstream(path) << "#!/bin/sh\nexit 0\n";
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }
  const std::string srun = "srun|--ntasks=1 --job-name=SorelJob~12_10 ";
  const std::string fixed = " --export=ALL --quiet -- ";
  struct {
    std::string folder, program, arguments, expected;  // empty: nothing starts
  } const cases[] = {
      {"/r", program, "-StatusFile \"/shared/a b.txt\" -x",
       srun + "--chdir=/r" + fixed + "\"" + program + "\" -StatusFile \"/shared/a b.txt\" -x"},
      // Quoted programs and folders with blanks stay one argument.
      {"/shared/run folder", "\"" + program + "\"", " -a",
       srun + "\"--chdir=/shared/run folder\"" + fixed + "\"" + program + "\" -a"},
      // Blanks and tabs separate; quoted stretches join; backslashes are plain.
      {"/r", "sh", "  a\"b c\"d \t \"\" e\\f",
       srun + "--chdir=/r" + fixed + "sh \"ab cd\" \"\" e\\f"},
      // A file that may not be executed runs by the shell.
      {"/r", plain, "a b", srun + "--chdir=/r" + fixed + "/bin/sh " + plain + " a b"},
      // Not programs: the cluster is not asked.
      {"/r", temp.File("missing"), "", ""},
  };
  for (const auto& c : cases) {
    test::ScriptedLauncher* local = nullptr;
    SlurmProcessLauncher slurm = Make(local, c.folder);
    EXPECT_EQ(slurm.Start({c.program, SplitArguments(c.arguments), "SorelJob~12_10"}) > 0,
              !c.expected.empty());
    EXPECT_EQ(local->log, c.expected.empty() ? std::vector<std::string>{}
                                             : std::vector<std::string>{c.expected});
  }

  // The fixed options first, then the partition and the administrator's own; srun that
  // cannot start is a failed start.
  LauncherSettings settings;
  settings.partition = "batch";
  settings.arguments = "--time=10 \"--comment=nightly run\"";
  test::ScriptedLauncher* local = nullptr;
  SlurmProcessLauncher slurm = Make(local, "/r", settings);
  local->failing_programs.insert("srun");
  // A line's time limit reaches the cluster in whole minutes, rounded up.
  EXPECT_EQ(slurm.Start({"sh", {}, "jobrunner_1", 61}), 0);
  EXPECT_EQ(local->log[0],
            "srun|--ntasks=1 --job-name=jobrunner_1 --chdir=/r --export=ALL --quiet "
            "--partition=batch --time=2 --time=10 \"--comment=nightly run\" -- sh");
  // Without a batch job name (the report generator after the run) it runs beside the
  // runner.
  EXPECT_EQ(slurm.Start({"/opt/keld/PageGen.exe", {"def 1.txt"}, ""}), 1);
  EXPECT_EQ(local->log[1], "/opt/keld/PageGen.exe|\"def 1.txt\"");
}

// Type and partition from the registry are seen end to end; a run must not start with a
// setting nobody can tell the meaning of.
TEST(LauncherSettingsTest, AnUnknownTypeRefusesTheRun) {
  test::MapRegistry registry;
  registry.SetString(kLauncherKey, "Type", "slurmx");
  const Result<std::unique_ptr<ProcessLauncher>> launcher =
      MakeConfiguredLauncher(registry, [] { return std::make_unique<test::ScriptedLauncher>(); });
  EXPECT_EQ(launcher.message(),
            "Unknown launcher type \"slurmx\" in HKEY_LOCAL_MACHINE\\SOFTWARE\\Extraction Job "
            "Runner\\Launcher (Type must be \"local\" or \"slurm\").");
  EXPECT_EQ(launcher.value, nullptr);
}

}  // namespace
}  // namespace jr

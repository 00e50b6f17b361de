#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "app/cli_check.h"
#include "platform/slurm_launcher.h"
#include "support/engine_fakes.h"
#include "support/fakes.h"
#include "support/test_paths.h"

namespace jr {
namespace {

void WriteScript(const std::string& path, int mode) {
  std::ofstream(path) << "#!/bin/sh\nexit 0\n";
  ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// A cluster launcher over the fake local launcher, which `local` points at.
SlurmProcessLauncher Make(test::ScriptedLauncher*& local, std::string folder,
                          LauncherSettings settings = {}) {
  settings.type = LauncherSettings::Type::kSlurm;
  auto fake = std::make_unique<test::ScriptedLauncher>();
  local = fake.get();
  return SlurmProcessLauncher(std::move(fake), std::move(settings), std::move(folder));
}

TEST(SlurmLauncher, ComposesTheSrunCommandLineOrFailsTheStartAsTheLocalLauncherWould) {
  test::TempDir temp;
  const std::string program = temp.File("my prog"), plain = temp.File("plain.sh");
  WriteScript(program, 0755);
  WriteScript(plain, 0644);
  const std::string fixed = "--export=ALL --quiet";
  struct {
    std::string folder, program, arguments, expected;  // empty: nothing starts
  } const cases[] = {
      {"/r", program, "-StatusFile \"/shared/a b.txt\" -x",
       "--ntasks=1 --job-name=SorelJob~12_10 --chdir=/r " + fixed + " -- \"" + program +
           "\" -StatusFile \"/shared/a b.txt\" -x"},
      // Quoted programs and folders with blanks stay one argument.
      {"/shared/run folder", "\"" + program + "\"", " -a",
       "--ntasks=1 --job-name=SorelJob~12_10 \"--chdir=/shared/run folder\" " + fixed + " -- \"" +
           program + "\" -a"},
      // Bare names are found on PATH; a file that may not be executed runs by the shell.
      {"/r", "sh", "-c true",
       "--ntasks=1 --job-name=SorelJob~12_10 --chdir=/r " + fixed + " -- sh -c true"},
      {"/r", plain, "a b",
       "--ntasks=1 --job-name=SorelJob~12_10 --chdir=/r " + fixed + " -- /bin/sh " + plain +
           " a b"},
      // Not programs: the cluster is not asked.
      {"/r", temp.File("missing"), "", ""},
      {"/r", "no-such-program-anywhere-4711", "", ""},
      {"/r", temp.path(), "", ""},
      {"/r", "", "", ""},
      // The argument text has no escape for a double quote inside an argument.
      {"/shared/a\"b", program, "", ""},
  };
  for (const auto& c : cases) {
    test::ScriptedLauncher* local = nullptr;
    SlurmProcessLauncher slurm = Make(local, c.folder);
    const ProcessHandle handle = slurm.Start({c.program, c.arguments, "SorelJob~12_10"});
    EXPECT_EQ(handle > 0, !c.expected.empty()) << c.program;
    if (c.expected.empty()) {
      EXPECT_TRUE(local->starts.empty()) << c.program;
      continue;
    }
    ASSERT_EQ(local->starts.size(), 1u);
    EXPECT_EQ(local->starts[0].program, "srun");
    EXPECT_EQ(local->starts[0].arguments, c.expected);
    EXPECT_EQ(local->starts[0].batch_job_name, "") << "srun itself runs here";
  }

  // The fixed options first, then the partition and the administrator's own; srun that
  // cannot start is a failed start.
  LauncherSettings settings;
  settings.partition = "batch";
  settings.arguments = "--time=10 \"--comment=nightly run\"";
  test::ScriptedLauncher* local = nullptr;
  SlurmProcessLauncher slurm = Make(local, "/r", settings);
  local->failing_programs.insert("srun");
  EXPECT_EQ(slurm.Start({"sh", "", "jobrunner_1"}), 0);
  EXPECT_EQ(local->starts[0].arguments,
            "--ntasks=1 --job-name=jobrunner_1 --chdir=/r " + fixed +
                " --partition=batch --time=10 \"--comment=nightly run\" -- sh");
  // Without a batch job name (the report generator after the run) it runs beside the
  // runner.
  EXPECT_EQ(slurm.Start({"/opt/keld/PageGen.exe", "\"def.txt\" \"tpl.htm\"", ""}), 1);
  EXPECT_EQ(local->log[1], "/opt/keld/PageGen.exe|\"def.txt\" \"tpl.htm\"");
}

TEST(LauncherSettingsTest, ReadsTheTypeAndSelectsTheLauncherOrRefusesTheRun) {
  test::MapRegistry registry;
  test::ScriptedLauncher* local = nullptr;
  int made = 0;
  auto factory = [&] {
    auto launcher = std::make_unique<test::ScriptedLauncher>();
    local = launcher.get();
    ++made;
    return launcher;
  };
  // Missing, empty or "local" in any case and with blanks: the local launcher itself.
  for (const char* type : {"missing", "", "local", " LOCAL "}) {
    if (std::string(type) != "missing") registry.SetString(kLauncherKey, "Type", type);
    Result<std::unique_ptr<ProcessLauncher>> launcher = MakeConfiguredLauncher(registry, factory);
    ASSERT_TRUE(launcher.ok()) << type;
    EXPECT_EQ(launcher.value.get(), local) << type;
  }

  registry.SetString(kLauncherKey, "Type", " Slurm ");
  registry.SetString(kLauncherKey, "Partition", " gpu ");
  registry.SetString(kLauncherKey, "Arguments", "  --time=5 --qos=low ");
  Result<LauncherSettings> settings = ReadLauncherSettings(registry);
  ASSERT_TRUE(settings.ok());
  EXPECT_EQ(settings.value.type, LauncherSettings::Type::kSlurm);
  EXPECT_EQ(settings.value.partition + "|" + settings.value.arguments, "gpu|--time=5 --qos=low");
  Result<std::unique_ptr<ProcessLauncher>> launcher = MakeConfiguredLauncher(registry, factory);
  ASSERT_TRUE(launcher.ok());
  launcher.value->Start({"sh", "", "jobrunner_1"});
  ASSERT_EQ(local->starts.size(), 1u);
  EXPECT_EQ(local->starts[0].program, "srun");

  // A run must not start with a setting nobody can tell the meaning of.
  registry.SetString(kLauncherKey, "Type", "slurmx");
  made = 0;
  launcher = MakeConfiguredLauncher(registry, factory);
  EXPECT_EQ(launcher.message(),
            "Unknown launcher type \"slurmx\" in HKEY_LOCAL_MACHINE\\SOFTWARE\\Extraction Job "
            "Runner\\Launcher (Type must be \"local\" or \"slurm\").");
  EXPECT_EQ(launcher.value, nullptr);
  EXPECT_EQ(made, 0);
}

// What --check prints. The answers of a working cluster, and what the run refuses, are
// seen end to end; these are the troubles a test machine cannot easily stage.
struct FakeProbe : LauncherProbe {
  std::string FindOnPath(std::string_view program) override {
    auto it = found.find(std::string(program));
    return it == found.end() ? std::string() : it->second;
  }
  Result<ProgramOutput> Run(const std::string& program, const std::string& arguments) override {
    runs.push_back(program + " " + arguments);
    return ProgramOutput{1, "slurm_load_partitions: Unable to contact slurm controller\nmore\n"};
  }
  std::map<std::string, std::string> found{{"srun", "/usr/bin/srun"}, {"sinfo", "/usr/bin/sinfo"}};
  std::vector<std::string> runs;
};

TEST(DescribeLauncherTest, SaysWhyJobLinesWouldNotRun) {
  test::MapRegistry registry;
  registry.SetString(kLauncherKey, "Type", "slurm");
  registry.SetString(kLauncherKey, "Partition", "gpu");
  FakeProbe probe;
  EXPECT_EQ(DescribeLauncher(registry, probe),
            "Launcher: slurm (job lines run through srun, partition: gpu)\n"
            "srun: /usr/bin/srun\n"
            "error: the Slurm controller does not answer: slurm_load_partitions: Unable to "
            "contact slurm controller\n");
  EXPECT_EQ(probe.runs,
            std::vector<std::string>{"/usr/bin/sinfo --noheader --format=%P \"--partition=gpu\""});

  // A name that a command line could read as more than a name is never passed on.
  registry.SetString(kLauncherKey, "Partition", "debug; rm -rf /");
  EXPECT_TRUE(test::Has(DescribeLauncher(registry, probe),
                        "error: the partition \"debug; rm -rf /\" is no Slurm partition name\n"));
  EXPECT_EQ(probe.runs.size(), 1u);

  registry.SetString(kLauncherKey, "Partition", "");
  probe.found.clear();
  const std::string text = DescribeLauncher(registry, probe);
  EXPECT_TRUE(test::Has(text, "error: srun not found on PATH\n"));
  EXPECT_TRUE(test::Has(text, "error: sinfo not found on PATH"));
}

}  // namespace
}  // namespace jr

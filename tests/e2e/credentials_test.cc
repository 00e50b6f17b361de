// Credentials in unattended runs of the built program: real credential files with real
// owners and modes; the value reaches the line's program and nothing else the run writes.

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

#include "support/engine_fakes.h"
#include "support/notice_sink.h"
#include "support/unattended_run.h"

namespace jr {
namespace {

namespace fs = std::filesystem;
using test::Has;
using test::ProgramOutcome;
using test::ReadWholeFile;

constexpr char kSecret[] = "Sesame-7f3q9Zt";

class CredentialsTest : public test::UnattendedRun {
 protected:
  void SetUp() override {
    UnattendedRun::SetUp();
    MakeFolder();
  }
  void MakeFolder() const {
    fs::create_directory(Folder());
    chmod(Folder().c_str(), 0700);
    Store("warehouse", std::string(kSecret) + "\n");
  }
  std::string Folder() const { return dir_.File("credentials"); }
  void Store(const std::string& name, const std::string& value) const {
    test::WriteWholeFile(Folder() + "/" + name, value);
    chmod((Folder() + "/" + name).c_str(), 0600);
  }
  ProgramOutcome Jobrunner(const std::vector<std::string>& args) {
    return Launch(args, {{"JOBRUNNER_CREDENTIALS_DIR", Folder()},
                         {"JOBRUNNER_METRICS_DIR", dir_.File("metrics")}});
  }
};

TEST_F(CredentialsTest, TheValueReachesTheProgramOnlyAndARotationTheNextLine) {
  fs::create_directory(dir_.File("metrics"));
  // The failure's notice, as the mail and webhook servers receive it, is looked at too.
  test::NoticeSink mail("smtp"), hook("http");
  SetRegistryKey("Notification", "\"MailServer\"=\"smtp://127.0.0.1:" + mail.port() + "\"\r\n");
  job_.NotifyMail = "ops@example.org";
  job_.NotifyWebhook = "http://127.0.0.1:" + hook.port() + "/hook";
  Store("rotated", "Rot-One-93x\n");
  Store("doomed", "Doomed-4k2\n");
  // Line 20 rotates the credential that it and line 30 use, each writing what it was given,
  // and removes the one of line 40, which then fails at its start.
  const std::string script =
      Script("user.sh", "#!/bin/sh\necho \"$1\" >>\"" + dir_.File("given.txt") +
                            "\"\nprintf 'Rot-Two-%s\\n' 58y >\"" + Folder() +
                            "/rotated\"\nrm -f \"" + Folder() + "/doomed\"\necho ok >\"$2\"\n");
  AddLine({.number = 10, .type = "Flow Runner", .options = "-user etl -password @cred:warehouse"});
  AddLine({.number = 20,
           .type = "User Batchfile",
           .options = "@cred:rotated",
           .wait_for = {"10"},
           .batch_file = script});
  AddLine({.number = 30,
           .type = "User Batchfile",
           .options = "@cred:rotated",
           .wait_for = {"20"},
           .batch_file = script});
  AddLine({.number = 40, .type = "Flow Runner", .options = "@cred:doomed", .wait_for = {"30"}});
  const std::string job = SaveJob();
  const ProgramOutcome run = Jobrunner({job});
  EXPECT_EQ(run.status, 1) << run.err;
  const std::string gone = ": credential \"doomed\": not found in " + Folder();
  EXPECT_TRUE(Has(run.err, "jobrunner: job line 40 (line 40): could not start ")) << run.err;
  EXPECT_TRUE(Has(run.err, gone)) << run.err;
  EXPECT_EQ(Outcomes().back(), "line 40 (Flow Runner)  :  FAILED");
  EXPECT_TRUE(Has(ReadWholeFile(dir_.File("record.jsonl")),
                  "\"args\":[\"-user\",\"etl\",\"-password\",\"" + std::string(kSecret) + "\","));
  EXPECT_EQ(ReadWholeFile(dir_.File("given.txt")), "Rot-One-93x\nRot-Two-58y\n");

  // Every file the run wrote, and everything the runner says about it, holds the reference.
  std::string said = run.out + run.err + Jobrunner({"--check", job}).out +
                     Jobrunner({"--check", "--strict", job}).err + History({job}).dump();
  for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name == "record.jsonl" || name == "given.txt" ||
        entry.path().parent_path() == Folder()) {
      continue;
    }
    said += ReadWholeFile(entry.path().string());
  }
  for (const test::NoticeSink* sink : {&mail, &hook}) {
    ASSERT_EQ(sink->Received().size(), 1u);
    said += sink->Received().front().dump();
  }
  EXPECT_FALSE(fs::is_empty(dir_.File("metrics")));
  for (const char* value : {kSecret, "Rot-One-93x", "Rot-Two-58y", "Doomed-4k2"}) {
    EXPECT_FALSE(Has(said, value)) << value;
  }
}

TEST_F(CredentialsTest, AnUnusableCredentialRefusesTheRunBeforeAnythingStarts) {
  // Root owns what the test makes, and may give a file away.
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  const std::string file = Folder() + "/warehouse ";
  // The name line 10 refers to, a shell command run in the credential folder, the refusal.
  for (const auto& [name, spoil, says] : std::vector<std::array<std::string, 3>>{
           {"warehouse", "chmod 0644 warehouse",
            file + "is readable by others (mode 0644); make it 0600"},
           {"warehouse", "chown nobody warehouse",
            file + "is owned by nobody (mode 0600), not by root; chown it to root"},
           {"warehouse", "mv warehouse ../w && ln -s ../w warehouse",
            file + "is a symbolic link; a credential must be a file of its own"},
           {"warehouse", "chmod 0770 .",
            "the credential folder " + Folder() +
                " is writable by its group (mode 0770); make it 0700"},
           {"absent", ":",
            "\"absent\": not found in " + Folder() +
                "; store it with: jobrunner --credential set absent"},
           {"warehouse", ": >warehouse", Folder() + "/warehouse: the value is empty"},
           {"../x", ":", "\"../x\": not a credential name"}}) {
    ASSERT_EQ(std::system(("cd '" + Folder() + "' && " + spoil).c_str()), 0) << spoil;
    job_.table.Clear();
    AddLine({.number = 10, .type = "Flow Runner", .options = "-password @cred:" + name});
    const ProgramOutcome run = Jobrunner({SaveJob()});
    EXPECT_EQ(run.status, 4) << says;
    EXPECT_TRUE(Has(run.err, "job line 10 (line 10): credential \"")) << run.err;
    EXPECT_TRUE(Has(run.err, says)) << run.err;
    EXPECT_TRUE(fs::is_empty(dir_.File("logs"))) << says;
    EXPECT_FALSE(fs::exists(dir_.File("record.jsonl"))) << says;
    fs::remove_all(Folder());
    MakeFolder();
  }
}

TEST_F(CredentialsTest, CheckNamesEveryReferenceAndStrictCountsTheUnusableAndClearPasswords) {
  const std::string clear =
      "job line 40: a password in clear text; keep it as a credential: "
      "jobrunner --credential set NAME\n";
  // Options of line 40, the credential they name, whether --check --strict passes.
  for (const auto& [options, name, passes] :
       std::vector<std::tuple<std::string, std::string, bool>>{
           {"-password @cred:warehouse", "warehouse", true},
           {"-password \"@cred:absent\"", "absent", false},
           {"-password plain", "", false}}) {
    job_.table.Clear();
    AddLine({.number = 30, .type = "Flow Runner", .options = "-user @cred:warehouse"});
    AddLine({.number = 40, .type = "Flow Runner", .options = options});
    const std::string job = SaveJob();
    const ProgramOutcome check = Jobrunner({"--check", job});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(Has(check.err, "jobrunner: warning: " + job + ": " + clear), name.empty());
    EXPECT_EQ(Jobrunner({"--check", "--strict", job}).status, passes ? 0 : 1) << options;
    nlohmann::json want =
        nlohmann::json::parse(R"([{"line": "30", "name": "warehouse", "usable": true}])");
    if (!name.empty()) want.push_back({{"line", "40"}, {"name", name}, {"usable", passes}});
    if (!name.empty() && !passes) {
      want.back()["problem"] = "credential \"absent\": not found in " + Folder() +
                               "; store it with: jobrunner --credential set absent";
    }
    EXPECT_EQ(nlohmann::json::parse(check.out)["credentials"], want) << options;
  }
  // The run says it too, and passes the password on.
  const ProgramOutcome run = Jobrunner({SaveJob()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.err, clear)) << run.err;
}

}  // namespace
}  // namespace jr

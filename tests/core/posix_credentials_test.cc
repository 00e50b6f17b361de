// Reading credentials on Linux: which names and values are taken, and where from. Which
// files and folders are trusted is the end-to-end tests' (credentials_test.cc).

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/credentials.h"
#include "support/test_paths.h"

namespace jr {
namespace {

TEST(Credentials, NamesAndValues) {
  for (const std::string& name :
       std::vector<std::string>{"warehouse", "db.prod_2-a", "X", std::string(64, 'x')}) {
    EXPECT_TRUE(IsCredentialName(name)) << name;
  }
  for (const std::string& name : std::vector<std::string>{
           "", std::string(65, 'x'), ".hidden", "../x", "a/b", "a b", "caf\xc3\xa9", "a:b"}) {
    EXPECT_FALSE(IsCredentialName(name)) << name;
  }
  const std::string most(kMaxCredentialBytes, 'v');
  const std::string lines = "has more than one line; a credential is one line";
  for (const auto& [bytes, want] : std::vector<std::pair<std::string, std::string>>{
           {"s3cret\n", "s3cret"},
           {most + "\n", most},
           {"", "is empty"},
           {"s3cret\n\n", lines},
           {"a\r\n", lines},
           {std::string("a\0b", 3), "holds a NUL byte"},
           {most + "v", "is longer than 4096 bytes"}}) {
    const Result<std::string> value = CredentialValue("w", bytes);
    EXPECT_EQ(value.ok() ? value.value : value.message().substr(26), want)
        << "[" << bytes.substr(0, 12) << "]";
  }
}

TEST(PosixCredentials, SystemdsFolderFirstThenTheCredentialFolder) {
  test::TempDir handed, folder;
  chmod(handed.path().c_str(), 0700);
  chmod(folder.path().c_str(), 0700);
  for (const auto& [dir, name, text] : {std::tuple{&handed, "both", "from systemd\n"},
                                        {&folder, "both", "from the folder\n"},
                                        {&folder, "folder", "only here\n"}}) {
    test::WriteWholeFile(dir->File(name), text);
    chmod(dir->File(name).c_str(), 0600);
  }
  setenv("CREDENTIALS_DIRECTORY", handed.path().c_str(), 1);
  EXPECT_EQ(ReadCredential("both", folder.path()).value, "from systemd");
  EXPECT_EQ(ReadCredential("folder", folder.path()).value, "only here");
  EXPECT_EQ(ReadCredential("none", folder.path()).message(),
            "credential \"none\": not found in " + handed.path() +
                " (CREDENTIALS_DIRECTORY) nor in " + folder.path() +
                "; store it with: jobrunner --credential set none");
  unsetenv("CREDENTIALS_DIRECTORY");
}

}  // namespace
}  // namespace jr

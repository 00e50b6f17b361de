// Reading credentials on Linux: which names and values are taken, and which files and
// folders are trusted, checked on real files with real owners and modes.

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
  for (const auto& [name, ok] :
       std::vector<std::pair<std::string, bool>>{{"warehouse", true},
                                                 {"db.prod_2-a", true},
                                                 {std::string(64, 'x'), true},
                                                 {"", false},
                                                 {std::string(65, 'x'), false},
                                                 {".hidden", false},
                                                 {"../x", false},
                                                 {"a/b", false},
                                                 {"a b", false},
                                                 {"caf\xc3\xa9", false}}) {
    EXPECT_EQ(IsCredentialName(name), ok) << name;
  }
  const std::string most(kMaxCredentialBytes, 'v');
  const std::string lines = "has more than one line; a credential is one line";
  for (const auto& [bytes, want] : std::vector<std::pair<std::string, std::string>>{
           {"s3cret\n", "s3cret"},
           {"s3cret", "s3cret"},
           {most + "\n", most},
           {"", "is empty"},
           {"\n", "is empty"},
           {"s3cret\n\n", lines},
           {"a\nb", lines},
           {"a\r\n", lines},
           {std::string("a\0b", 3), "holds a NUL byte"},
           {most + "v", "is longer than 4096 bytes"}}) {
    const Result<std::string> value = CredentialValue("w", bytes);
    EXPECT_EQ(value.ok() ? value.value : value.message().substr(26), want)
        << "[" << bytes.substr(0, 12) << "]";
  }
}

TEST(PosixCredentials, TrustsOnlyPrivateFilesInPrivateFolders) {
  const bool root = geteuid() == 0;
  struct Case {
    const char* what;
    mode_t folder_mode, file_mode;
    uid_t file_owner, folder_owner;  // 0: the test's own user
    bool link;
    std::string want;  // the value, or what the refusal says after the file's name
  };
  const uid_t other = 4242;
  for (const Case& c : std::vector<Case>{
           {"private", 0700, 0600, 0, 0, false, "s3cret"},
           {"read-only", 0500, 0400, 0, 0, false, "s3cret"},
           {"readable", 0700, 0644, 0, 0, false,
            " is readable by others (mode 0644); make it 0600"},
           {"group", 0700, 0640, 0, 0, false,
            " is readable by its group (mode 0640); make it 0600"},
           {"owner", 0700, 0600, other, 0, false, " is owned by 4242 (mode 0600), not by root"},
           {"link", 0700, 0600, 0, 0, true, "/w is a symbolic link; a credential must be a file"},
           {"folder", 0770, 0600, 0, 0, false,
            " is writable by its group (mode 0770); make it 0700"},
           {"folder owner", 0700, 0600, 0, other, false, " is owned by 4242 (mode 0700)"}}) {
    if ((c.file_owner != 0 || c.folder_owner != 0) && !root) continue;
    test::TempDir top;
    const std::string folder = top.File("credentials");
    std::filesystem::create_directory(folder);
    const std::string file = folder + (c.link ? "/target" : "/w");
    test::WriteWholeFile(file, "s3cret\n");
    if (c.link) std::filesystem::create_symlink("target", folder + "/w");
    chmod(file.c_str(), c.file_mode);
    chmod(folder.c_str(), c.folder_mode);
    for (const auto& [path, owner] : {std::pair{file, c.file_owner}, {folder, c.folder_owner}}) {
      ASSERT_EQ(chown(path.c_str(), owner != 0 ? owner : geteuid(), 0), 0);
    }
    const Result<std::string> value = ReadCredential("w", folder);
    if (value.ok()) {
      EXPECT_EQ(value.value, c.want) << c.what;
    } else {
      EXPECT_PRED_FORMAT2(testing::IsSubstring, c.want, value.message()) << c.what;
      EXPECT_TRUE(value.message().starts_with("credential \"w\": ")) << c.what;
    }
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
  EXPECT_TRUE(ReadCredential("../x", folder.path()).message().find("not a credential name") !=
              std::string::npos);
  unsetenv("CREDENTIALS_DIRECTORY");
}

}  // namespace
}  // namespace jr

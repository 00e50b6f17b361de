#include <gtest/gtest.h>

#include "platform/installation.h"
#include "platform/posix/reg_file.h"
#include "support/test_paths.h"

namespace jr {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Data(const RegFileContents& contents, std::string_view key, std::string_view name) {
  std::optional<RegistryValue> value = contents.Find(key, name);
  return value ? value->data : Bytes{0xEE};
}

Bytes Sz(std::string_view text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

TEST(RegFile, ReadsValuesAsTheRegistryStoresThem) {
  RegFileContents contents = RegFileContents::Parse(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; by hand\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Version Info]\r\n"
      "\"Current Version\"=\"7.1\"\r\n"
      "\"Quoted\"=\"say \\\"hi\\\" to C:\\\\temp\\\\\"\r\n"
      "\"Count\"=dword:00000105 ; comment\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\A\\Version Info]\r\n"
      "\"Current Version\"=\"other hive\"\r\n");
  EXPECT_TRUE(contents.problems().empty()) << contents.problems().front();
  const char* key = "SOFTWARE\\A\\Version Info";
  EXPECT_EQ(Data(contents, "software\\a\\VERSION INFO", "current version"), Sz("7.1"));
  EXPECT_EQ(Data(contents, key, "Quoted"), Sz("say \"hi\" to C:\\temp\\"));
  EXPECT_EQ(Data(contents, key, "Count"), (Bytes{0x05, 0x01, 0, 0}));
  EXPECT_EQ(contents.value_count(), 3u);
  // A key path must match whole: no prefix.
  EXPECT_FALSE(contents.Find("SOFTWARE\\A", "Current Version"));

  // The same kind of file as UTF-16LE, with a letter outside the BMP (U+1F600).
  std::string wide = "\xFF\xFE";
  for (char c : std::string("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"N\"=\"@\"\r\n")) {
    wide += c == '@' ? std::string("\x3D\xD8\x00\xDE", 4) : std::string{c, '\0'};
  }
  EXPECT_EQ(Data(RegFileContents::Parse(wide), "K", "N"), Sz("\xF0\x9F\x98\x80"));
}

TEST(RegFile, SkipsUnreadableLinesAndFilesWithoutTheExportHeader) {
  const std::string body = "[HKEY_LOCAL_MACHINE\\A]\n\"Name\"=\"value\"\n";
  for (const char* header : {"", "regedit5"}) {
    RegFileContents contents = RegFileContents::Parse(header + ("\n" + body));
    EXPECT_EQ(contents.value_count(), 0u) << header;
    EXPECT_EQ(contents.problems().at(0).rfind("line 1: not a registry export file", 0), 0u);
  }
  RegFileContents contents = RegFileContents::Parse(
      "REGEDIT4\n"
      "\"Orphan\"=\"before any key\"\n"
      "[HKEY_LOCAL_MACHINE\\A]\n"
      "\"Open\"=\"never closed\n"
      "\"TooLong\"=dword:123456789\n"
      "just some words\n"
      "\"Good\"=\"kept\"\n"
      "[HKEY_LOCAL_MACHINE\\Broken\n"
      "\"InBroken\"=\"must not land in A\"\n");
  EXPECT_EQ(Data(contents, "A", "Good"), Sz("kept"));
  EXPECT_EQ(contents.value_count(), 1u);
  ASSERT_EQ(contents.problems().size(), 5u);
  EXPECT_EQ(contents.problems()[2], "line 5: value \"TooLong\" cannot be read; skipped");
}

// The file as the engine reads it, through GetRegistryString and the folder lookups.
class RegistryFile : public ::testing::Test {
 protected:
  void Write(const std::string& body) {
    test::WriteWholeFile(path_, "Windows Registry Editor Version 5.00\r\n" + body);
  }
  test::TempDir dir_;
  std::string path_ = dir_.File("registry.reg");
  RegFileRegistry registry_{path_};
};

TEST_F(RegistryFile, FindsTheUtilitiesFoldersOrALoneSeparator) {
  const std::string keld = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\VantorKeld\\";
  const std::string mirn = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\iVantorMirn\\";
  Write(keld + "Version Info]\r\n\"Current Version\"=\"7.1 \"\r\n" + keld +
        "7.1 \\Install Info]\r\n\"Keld_utils_path\"=\"/opt/keld/utils\"\r\n" +
        "[hkey_local_machine\\software\\vantor\\ivantormirn\\version info]\r\n"
        "\"current version\"=\"2\"\r\n" +
        mirn + "2\\Install Info]\r\n\"Mirn_utils_path\"=\"/opt/mirn/\"\r\n");
  // The version goes into the key untrimmed; a separator is added only where missing.
  EXPECT_EQ(GetKeldUtilsPath(registry_), "/opt/keld/utils/");
  EXPECT_EQ(GetMirnUtilsPath(registry_), "/opt/mirn/");

  // Without a version the folder under "...VantorKeld\Install Info" must not be found.
  Write(keld + "Install Info]\r\n\"Keld_utils_path\"=\"/wrong/\"\r\n");
  EXPECT_EQ(GetKeldUtilsPath(registry_), "/");
}

TEST_F(RegistryFile, IsReadAgainOnEveryQueryAndGivesTextsUpTo1024BytesWithTheirTerminator) {
  EXPECT_EQ(GetKeldUtilsPath(registry_), "/");
  EXPECT_EQ(registry_.LastProblems().at(0).rfind(path_ + ": cannot be read", 0), 0u);

  const std::string fits(1023, 'x');
  Write("[HKEY_LOCAL_MACHINE\\A]\r\n\"Fits\"=\"" + fits + "\"\r\n\"TooLong\"=\"" + fits +
        "y\"\r\n\"Number\"=dword:00000105\r\n\"Bytes\"=hex:41,42\r\n");
  const std::pair<const char*, std::string> cases[] = {
      {"Fits", fits}, {"TooLong", ""}, {"Number", "261"}, {"Bytes", ""}, {"Missing", ""}};
  for (const auto& [name, text] : cases) EXPECT_EQ(GetRegistryString(registry_, "A", name), text);
}

}  // namespace
}  // namespace jr

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <random>

#include "engine/mod_registry.h"
#include "platform/reg_file.h"
#include "support/test_paths.h"

namespace jr {
namespace {

constexpr const char* kKeldVersionKey = "SOFTWARE\\Vantor\\VantorKeld\\Version Info";

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string Text(const std::optional<RegistryValue>& value) {
  if (!value || value->type != kRegSz) return "<no string>";
  return std::string(value->data.begin(), value->data.end());
}

TEST(RegFile, ReadsStringsNumbersAndEscapesAsTheRegistryStoresThem) {
  const std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; installed by hand\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\VantorKeld\\Version Info]\r\n"
      "\"Current Version\"=\"7.1\"\r\n"
      "\"Quoted\"=\"say \\\"hi\\\" to C:\\\\temp\\\\\"\r\n"
      "\"Count\"=dword:00000105\r\n"
      "\"Short\"=dword:ff ; a comment behind a value\r\n"
      "@=\"default\"\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Vantor\\VantorKeld\\Version Info]\r\n"
      "\"Current Version\"=\"from another hive\"\r\n";
  RegFileContents contents = RegFileContents::Parse(text);
  EXPECT_TRUE(contents.problems().empty()) << contents.problems().front();

  // Key paths and names in any letter case; string data keeps its terminator.
  std::optional<RegistryValue> version =
      contents.Find("software\\VANTOR\\vantorkeld\\version info", "CURRENT VERSION");
  ASSERT_TRUE(version);
  EXPECT_EQ(version->type, kRegSz);
  EXPECT_EQ(version->data, (std::vector<uint8_t>{'7', '.', '1', 0}));

  EXPECT_EQ(Text(contents.Find(kKeldVersionKey, "Quoted")),
            std::string("say \"hi\" to C:\\temp\\\0", 21));

  std::optional<RegistryValue> count = contents.Find(kKeldVersionKey, "Count");
  ASSERT_TRUE(count);
  EXPECT_EQ(count->type, kRegDword);
  EXPECT_EQ(count->data, (std::vector<uint8_t>{0x05, 0x01, 0, 0}));
  EXPECT_EQ(contents.Find(kKeldVersionKey, "Short")->data, (std::vector<uint8_t>{0xFF, 0, 0, 0}));
  EXPECT_EQ(Text(contents.Find(kKeldVersionKey, "")), std::string("default\0", 8));

  // Only the local machine hive is read; the other hive's value did not overwrite ours.
  EXPECT_EQ(contents.value_count(), 5u);
  // A key path must match whole: no prefix, no doubled separator.
  EXPECT_FALSE(contents.Find("SOFTWARE\\Vantor\\VantorKeld", "Current Version"));
  EXPECT_FALSE(contents.Find("SOFTWARE\\Vantor\\VantorKeld\\\\Version Info", "Current Version"));
}

TEST(RegFile, AFileWithoutTheExportHeaderHoldsNoValues) {
  const std::string body =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
      "\"Name\"=\"value\"\n";
  for (const std::string& header : {std::string(""), std::string("Windows Registry Editor"),
                                    std::string("regedit5"), std::string("\n")}) {
    RegFileContents contents = RegFileContents::Parse(header + "\n" + body);
    EXPECT_EQ(contents.value_count(), 0u) << header;
    ASSERT_EQ(contents.problems().size(), 1u);
    EXPECT_NE(contents.problems()[0].find("line 1: not a registry export file"), std::string::npos);
  }
  RegFileContents old_format = RegFileContents::Parse("REGEDIT4\n" + body);
  EXPECT_EQ(Text(old_format.Find("SOFTWARE\\A", "Name")), std::string("value\0", 6));
  EXPECT_EQ(RegFileContents::Parse("").value_count(), 0u);
}

TEST(RegFile, SkipsUnreadableLinesAndKeepsEverythingElse) {
  const std::string text =
      "REGEDIT4\n"
      "\"Orphan\"=\"before any key\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
      "\"Open\"=\"never closed\n"
      "\"NoEquals\" \"x\"\n"
      "\"TooLong\"=dword:123456789\n"
      "\"NotHex\"=dword:xyz\n"
      "\"Empty\"=\n"
      "\"Trailing\"=\"x\" junk\n"
      "\"Unclosed name=\"x\"\n"
      "just some words\n"
      "\"Good\"=\"kept\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\n"
      "\"InBroken\"=\"must not land in A\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n"
      "\"Fine\"=dword:1\n";
  RegFileContents contents = RegFileContents::Parse(text);
  EXPECT_EQ(Text(contents.Find("SOFTWARE\\A", "Good")), std::string("kept\0", 5));
  EXPECT_EQ(contents.Find("SOFTWARE\\B", "Fine")->data, (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_FALSE(contents.Find("SOFTWARE\\A", "InBroken"));
  EXPECT_EQ(contents.value_count(), 2u);
  ASSERT_EQ(contents.problems().size(), 10u);
  EXPECT_EQ(contents.problems()[0], "line 2: value before any key line; skipped");
  EXPECT_EQ(contents.problems()[3], "line 6: value \"TooLong\" cannot be read; skipped");
  EXPECT_EQ(contents.problems()[9],
            "line 13: key line without closing bracket; its values are skipped");
}

TEST(RegFile, ReadsByteValuesOverContinuedLinesAndRemovals) {
  const std::string text =
      "Windows Registry Editor Version 5.00\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
      "\"Bytes\"=hex:01,02,\\\n"
      "  03,04\n"
      "\"Wide\"=hex(1):2f,00,6f,00,70,00,74,00,00,00\n"
      "\"Expand\"=hex(2):41,00,00,00\n"
      "\"Gone\"=\"soon\"\n"
      "\"Gone\"=-\n"
      "\"After\"=\"read\"\n";
  RegFileContents contents = RegFileContents::Parse(text);
  EXPECT_TRUE(contents.problems().empty()) << contents.problems().front();
  std::optional<RegistryValue> bytes = contents.Find("SOFTWARE\\A", "Bytes");
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->type, 3u);
  EXPECT_EQ(bytes->data, (std::vector<uint8_t>{1, 2, 3, 4}));
  // String kinds in byte form hold UTF-16 in this format.
  EXPECT_EQ(Text(contents.Find("SOFTWARE\\A", "Wide")), std::string("/opt\0", 5));
  EXPECT_EQ(contents.Find("SOFTWARE\\A", "Expand")->type, 2u);
  EXPECT_FALSE(contents.Find("SOFTWARE\\A", "Gone"));
  EXPECT_TRUE(contents.Find("SOFTWARE\\A", "After"));
}

TEST(RegFile, ReadsUtf16FilesWithByteOrderMark) {
  const std::string utf8 =
      "Windows Registry Editor Version 5.00\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"
      "\"Name\"=\"Gr\xC3\xBC\xC3\x9F\x65 \xF0\x9F\x98\x80\"\r\n";
  // The same text as UTF-16LE: ASCII, two Latin-1 letters and one surrogate pair.
  std::string wide = "\xFF\xFE";
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t code = c;
    size_t length = 1;
    if (c >= 0xF0) {
      code = (c & 0x07u) << 18 | (utf8[i + 1] & 0x3Fu) << 12 | (utf8[i + 2] & 0x3Fu) << 6 |
             (utf8[i + 3] & 0x3Fu);
      length = 4;
    } else if (c >= 0xC0) {
      code = (c & 0x1Fu) << 6 | (utf8[i + 1] & 0x3Fu);
      length = 2;
    }
    auto unit = [&wide](uint32_t u) {
      wide += static_cast<char>(u & 0xFF);
      wide += static_cast<char>(u >> 8);
    };
    if (code >= 0x10000) {
      unit(0xD800 + ((code - 0x10000) >> 10));
      unit(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      unit(code);
    }
    i += length;
  }
  RegFileContents contents = RegFileContents::Parse(wide);
  EXPECT_EQ(Text(contents.Find("SOFTWARE\\A", "Name")),
            std::string("Gr\xC3\xBC\xC3\x9F\x65 \xF0\x9F\x98\x80") + '\0');
}

TEST(RegFile, ArbitraryBytesNeverBreakTheReader) {
  std::mt19937 random(12345);
  const std::string pieces[] = {
      "[",  "]",    "\"",  "\\", "=", "dword:", "hex(", ")",    ":",    ",",
      "\n", "\r\n", "@",   "-",  ";", "ff",     "\xFF", "\xFE", "\xD8", "HKEY_LOCAL_MACHINE\\",
      "a",  " ",    "\x00"};
  for (int round = 0; round < 3000; ++round) {
    std::string text = round % 2 == 0 ? "REGEDIT4\n" : "\xFF\xFE";
    const int count = static_cast<int>(random() % 60);
    for (int i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
    RegFileContents contents = RegFileContents::Parse(text);
    (void)contents.Find("a", "a");
  }
}

// The registry file as the engine reads it, through GetRegistryString and the two folder
// lookups.
class RegistryFile : public ::testing::Test {
 protected:
  void Write(const std::string& body) {
    WriteFile(path_, "Windows Registry Editor Version 5.00\r\n\r\n" + body);
  }
  test::TempDir dir_;
  std::string path_ = dir_.File("registry.reg");
  RegFileRegistry registry_{path_};
};

TEST_F(RegistryFile, FindsBothUtilitiesFolders) {
  Write(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\VantorKeld\\Version Info]\r\n"
      "\"Current Version\"=\"7.1 \"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\VantorKeld\\7.1 \\Install Info]\r\n"
      "\"Keld_utils_path\"=\"/opt/keld/utils\"\r\n"
      "[HKEY_LOCAL_MACHINE\\software\\vantor\\ivantormirn\\version info]\r\n"
      "\"current version\"=\"2\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\iVantorMirn\\2\\Install Info]\r\n"
      "\"Mirn_utils_path\"=\"/opt/mirn/utils/\"\r\n");
  // The version goes into the key untrimmed; a separator is added only where missing.
  EXPECT_EQ(GetKeldUtilsPath(registry_), "/opt/keld/utils/");
  EXPECT_EQ(GetMirnUtilsPath(registry_), "/opt/mirn/utils/");
  EXPECT_TRUE(registry_.LastProblems().empty());
}

TEST_F(RegistryFile, AProductWithoutVersionOrFolderIsALoneSeparator) {
  // The folder sits under the key that an empty version would make without the doubled
  // separator; it must not be found.
  Write(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\VantorKeld\\Install Info]\r\n"
      "\"Keld_utils_path\"=\"/wrong/\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\iVantorMirn\\Version Info]\r\n"
      "\"Current Version\"=\"2\"\r\n");
  EXPECT_EQ(GetKeldUtilsPath(registry_), "/");
  EXPECT_EQ(GetMirnUtilsPath(registry_), "/");
}

TEST_F(RegistryFile, ValuesUpTo1024BytesWithTerminatorAreRead) {
  const std::string fits(1023, 'x');
  const std::string too_long(1024, 'y');
  Write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"Fits\"=\"" + fits + "\"\r\n\"TooLong\"=\"" +
        too_long + "\"\r\n\"Number\"=dword:00000105\r\n\"Bytes\"=hex:41,42\r\n" +
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\VantorKeld\\Version Info]\r\n"
        "\"Current Version\"=\"1\"\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\VantorKeld\\1\\Install Info]\r\n"
        "\"Keld_utils_path\"=\"/" +
        too_long + "\"\r\n");
  EXPECT_EQ(GetRegistryString(registry_, "SOFTWARE\\A", "Fits"), fits);
  EXPECT_EQ(GetRegistryString(registry_, "SOFTWARE\\A", "TooLong"), "");
  EXPECT_EQ(GetKeldUtilsPath(registry_), "/");
  EXPECT_EQ(GetRegistryString(registry_, "SOFTWARE\\A", "Number"), "261");
  EXPECT_EQ(GetRegistryString(registry_, "SOFTWARE\\A", "Bytes"), "");
  EXPECT_EQ(GetRegistryString(registry_, "SOFTWARE\\A", "Missing"), "");
}

TEST_F(RegistryFile, IsReadAgainOnEveryQueryAndMayBeMissing) {
  EXPECT_EQ(GetKeldUtilsPath(registry_), "/");
  ASSERT_EQ(registry_.LastProblems().size(), 1u);
  EXPECT_NE(registry_.LastProblems()[0].find(path_ + ": cannot be read"), std::string::npos);

  Write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"V\"=\"one\"\r\n");
  EXPECT_EQ(GetRegistryString(registry_, "SOFTWARE\\A", "V"), "one");
  Write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"V\"=\"two\"\r\nnonsense\r\n");
  EXPECT_EQ(GetRegistryString(registry_, "SOFTWARE\\A", "V"), "two");
  ASSERT_EQ(registry_.LastProblems().size(), 1u);
  EXPECT_EQ(registry_.LastProblems()[0],
            path_ + ": line 5: neither a key nor a value line; skipped");
}

TEST_F(RegistryFile, TheSystemRegistryIsTheFileNamedInTheEnvironment) {
  Write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"V\"=dword:2a\r\n");
  setenv("JOBRUNNER_REGISTRY", path_.c_str(), 1);
  std::unique_ptr<RegistryReader> system = MakeSystemRegistryReader();
  unsetenv("JOBRUNNER_REGISTRY");
  EXPECT_EQ(GetRegistryString(*system, "SOFTWARE\\A", "V"), "42");
}

}  // namespace
}  // namespace jr

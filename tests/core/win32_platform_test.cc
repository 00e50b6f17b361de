// The smaller Windows seams: text conversion, the event log call path and the
// tab-separated process metadata log.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jobfile/job_file.h"
#include "platform/event_log.h"
#include "platform/metadata_log.h"
#include "platform/win32/utf.h"
#include "support/test_paths.h"

namespace jr {
namespace {

TEST(Win32Utf, ConvertsBothWaysAndReplacesInvalidInput) {
  const std::string text =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC \xF0\x9F\x98\x80";
  const std::wstring wide = Utf8ToWide(text);
  EXPECT_EQ(wide, L"Gr\u00FC\u00DFe \u20AC \U0001F600");
  EXPECT_EQ(WideToUtf8(wide), text);
  // Zero characters inside are kept: lengths are explicit.
  EXPECT_EQ(WideToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(Utf8ToWide("a\xFF"
                       "b"),
            L"a\uFFFDb");
}

TEST(Win32Utf, ProgramsRunWithUtf8AsTheirCodePage) {
  EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
  // A job file whose name is outside ASCII, made with the wide interface, is found by the
  // reader through the C library.
  test::TempDir dir;
  const std::string path = dir.path() +
                           "\\N\xC3\xA4"
                           "chtlich \xE2\x82\xAC.xml";
  HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const std::string text =
      "<VANTORSOREL_Job_specification Description=\"d\" LogFile=\"a\" UserFile=\"u\" "
      "TempLogDir=\"t\"><BatchLines/></VANTORSOREL_Job_specification>";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  JobDocument job;
  const ReadResult result = ReadJobFile(path, job);
  EXPECT_EQ(result.status, ReadStatus::kLoaded) << result.message << result.detail;
}

TEST(Win32EventLog, ReportsAnEntryUnderTheProgramsSource) {
  // The test system may keep no entries; the call path is what is checked.
  auto sink = MakeSystemEventLogSink();
  EXPECT_EQ(sink->Write("Extraction Job Runner", 4, 0, 1,
                        "\r\n\r\nJob 'Nightly' finished without errors."),
            0);
}

class MetadataFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.path() + "\\logs\\metadata.tsv";
    SetEnvironmentVariableW(L"JOBRUNNER_METADATA_DB", Utf8ToWide(path_).c_str());
  }
  void TearDown() override { SetEnvironmentVariableW(L"JOBRUNNER_METADATA_DB", nullptr); }

  // Each line without its first field, the time it was written.
  std::vector<std::string> Rows() {
    std::ifstream in(std::filesystem::path(Utf8ToWide(path_)), std::ios::binary);
    std::vector<std::string> rows;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      rows.push_back(line.substr(line.find('\t') + 1));
    }
    return rows;
  }

  test::TempDir dir_;
  std::string path_;
};

TEST_F(MetadataFile, OneEscapedLinePerEntryOrAReasonWhyNot) {
  auto factory = MakeSystemMetadataLogFactory();
  auto created = factory->Create();
  ASSERT_TRUE(created.ok()) << created.message();
  auto& log = created.value;
  log->setEntryStatus(3);
  log->setEntryLogFile("C:\\logs\\line 10.log");
  log->setEntryStart(std::chrono::sys_days{std::chrono::year{2003} / 3 / 7} +
                     std::chrono::hours(14) + std::chrono::minutes(5) + std::chrono::seconds(9));
  log->setEntryStop(log->EntryStart() + std::chrono::seconds(61));
  log->setEntryJobId("20030307_140509");
  ASSERT_TRUE(log->WriteEntry({int64_t{10}, 2.5, std::string("tab\there\r\nback\\slash")}).ok());
  ASSERT_TRUE(log->WriteEntry({}).ok());
  std::string error = log->WriteEntry(std::vector<MetadataValue>(32, int64_t{1})).message;
  EXPECT_NE(error.find("32"), std::string::npos);
  const std::string entry =
      "3\tC:\\\\logs\\\\line 10.log\t2003-03-07T14:05:09Z\t2003-03-07T14:06:10Z\t20030307_140509\t";
  EXPECT_EQ(Rows(), (std::vector<std::string>{entry + "3\t10\t2.5\ttab\\there\\r\\nback\\\\slash",
                                              entry + "0"}));

  // A folder where the file should be cannot take entries.
  const std::string folder = dir_.path() + "\\taken";
  ASSERT_TRUE(CreateDirectoryW(Utf8ToWide(folder).c_str(), nullptr));
  SetEnvironmentVariableW(L"JOBRUNNER_METADATA_DB", Utf8ToWide(folder).c_str());
  error = MakeSystemMetadataLogFactory()->Create().message();
  EXPECT_NE(error.find(folder), std::string::npos);
}

}  // namespace
}  // namespace jr

// The smaller Windows seams: text conversion, the event log call path and the
// tab-separated process metadata log.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "jobfile/job_file.h"
#include "platform/event_log.h"
#include "platform/metadata_location.h"
#include "platform/metadata_log.h"
#include "platform/win32/utf.h"
#include "store/sqlite_metadata_log.h"
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

// The same SQLite store as on Linux; here the place comes from the Windows environment
// and the database's name may hold any UTF-8 text.
TEST(Win32MetadataDatabase, LiesUnderLocalAppDataOrWhereTheVariableSays) {
  test::TempDir dir;
  SetEnvironmentVariableW(L"JOBRUNNER_METADATA_DB", nullptr);
  SetEnvironmentVariableW(L"LOCALAPPDATA", L"C:\\Users\\me\\AppData\\Local");
  EXPECT_EQ(SystemMetadataDatabasePath(),
            "C:\\Users\\me\\AppData\\Local\\jobrunner\\metadata.sqlite");

  const std::string path = dir.path() +
                           "\\gr\xc3\xbc\xc3\x9f"
                           "e\\metadata.sqlite";
  SetEnvironmentVariableW(L"JOBRUNNER_METADATA_DB", Utf8ToWide(path).c_str());
  auto created = MakeSystemMetadataLogFactory()->Create();
  SetEnvironmentVariableW(L"JOBRUNNER_METADATA_DB", nullptr);
  ASSERT_TRUE(created.ok()) << created.message();
  auto& log = created.value;
  log->SetEntryStatus(3);
  ASSERT_TRUE(log->WriteEntry({int64_t{10}, std::string("line 10")}).ok());

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* row = nullptr;
  ASSERT_EQ(
      sqlite3_prepare_v2(db, "SELECT entry_status, arg02 FROM process_metadata", -1, &row, nullptr),
      SQLITE_OK);
  ASSERT_EQ(sqlite3_step(row), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(row, 0), 3);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(row, 1)), "line 10");
  EXPECT_EQ(sqlite3_step(row), SQLITE_DONE);
  sqlite3_finalize(row);
  sqlite3_close(db);
}

}  // namespace
}  // namespace jr

// The registry reader against the machine's own registry: values are written with the
// system's calls under a key of the test's own and read back through the engine's lookup.

#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>

#include "platform/installation.h"
#include "platform/registry.h"
#include "platform/win32/utf.h"

namespace jr {
namespace {

class RealRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = "SOFTWARE\\JobRunnerTest" + std::to_string(std::random_device()());
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Utf8ToWide(root_).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_ != nullptr) RegCloseKey(key_);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, Utf8ToWide(root_).c_str());
  }

  void SetBytes(const std::string& name, DWORD type, const void* data, size_t size) {
    ASSERT_EQ(RegSetValueExW(key_, Utf8ToWide(name).c_str(), 0, type,
                             static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
              ERROR_SUCCESS);
  }
  void SetString(const std::string& name, const std::string& text, bool terminated = true) {
    const std::wstring wide = Utf8ToWide(text);
    SetBytes(name, REG_SZ, wide.c_str(), (wide.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
  }
  std::string Read(const std::string& name) { return GetRegistryString(*reader_, root_, name); }

  std::string root_;
  HKEY key_ = nullptr;
  std::unique_ptr<RegistryReader> reader_ = MakeSystemRegistryReader();
};

TEST_F(RealRegistry, StringsAndNumbersAsTheEngineReadsThem) {
  SetString("Folder", "C:\\Keld\\utils\\");
  EXPECT_EQ(Read("Folder"), "C:\\Keld\\utils\\");
  // Names and key paths compare without regard to case.
  EXPECT_EQ(GetRegistryString(*reader_, root_ + "", "folder"), "C:\\Keld\\utils\\");
  std::string upper = root_;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(GetRegistryString(*reader_, upper, "FOLDER"), "C:\\Keld\\utils\\");

  const DWORD number = 261;
  SetBytes("Number", REG_DWORD, &number, sizeof number);
  EXPECT_EQ(Read("Number"), "261");

  const wchar_t expand[] = L"%SystemRoot%";
  SetBytes("Expand", REG_EXPAND_SZ, expand, sizeof expand);
  EXPECT_EQ(Read("Expand"), "");

  EXPECT_EQ(Read("Missing"), "");
  EXPECT_FALSE(reader_->Query(root_ + "\\NoSuchKey", "Folder").has_value());
  EXPECT_FALSE(reader_->Query(root_, "Missing").has_value());
}

TEST_F(RealRegistry, TheBufferHoldsTextOf1023BytesWithItsTerminator) {
  SetString("Fits", std::string(1023, 'x'));
  EXPECT_EQ(Read("Fits"), std::string(1023, 'x'));
  SetString("TooLong", std::string(1024, 'x'));
  EXPECT_EQ(Read("TooLong"), "");
  // A value stored without its terminator is taken whole.
  SetString("Short", "C:\\tools", false);
  EXPECT_EQ(Read("Short"), "C:\\tools");
  SetString("Empty", "");
  EXPECT_EQ(Read("Empty"), "");
}

TEST_F(RealRegistry, TextOutsideAsciiArrivesAsUtf8) {
  SetString("Folder",
            "C:\\Programme\\Gr\xC3\xBC"
            "ber\\");
  EXPECT_EQ(Read("Folder"),
            "C:\\Programme\\Gr\xC3\xBC"
            "ber\\");
  const std::optional<RegistryValue> value = reader_->Query(root_, "Folder");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, kRegSz);
  EXPECT_EQ(value->data.back(), 0);
}

TEST(RealRegistryInstall, UtilsFoldersComeFromTheVersionKeys) {
  HKEY key = nullptr;
  const std::wstring install = L"SOFTWARE\\Vantor\\iVantorMirn\\9.9 test\\Install Info";
  const std::wstring version = L"SOFTWARE\\Vantor\\iVantorMirn\\Version Info";
  auto reader = MakeSystemRegistryReader();
  // Another installation on this machine is left alone.
  if (!GetRegistryString(*reader, "SOFTWARE\\Vantor\\iVantorMirn\\Version Info", "Current Version")
           .empty()) {
    GTEST_SKIP() << "a Mirn installation is registered on this machine";
  }
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, version.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::wstring current = L"9.9 test";
  RegSetValueExW(key, L"Current Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(current.c_str()),
                 static_cast<DWORD>((current.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  EXPECT_EQ(GetMirnUtilsPath(*reader), "\\");  // version known, folder not yet
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, install.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::wstring folder = L"C:\\Mirn\\utils";
  RegSetValueExW(key, L"Mirn_utils_path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  EXPECT_EQ(GetMirnUtilsPath(*reader), "C:\\Mirn\\utils\\");
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vantor\\iVantorMirn");
}

}  // namespace
}  // namespace jr

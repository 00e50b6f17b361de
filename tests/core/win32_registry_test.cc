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

TEST_F(RealRegistry, ValuesAsTheEngineReadsThem) {
  const std::string folder =
      "C:\\Programme\\Gr\xC3\xBC"
      "ber\\";
  SetString("Folder", folder);
  SetString("Fits", std::string(1023, 'x'));  // the buffer holds 1023 bytes and the zero
  SetString("TooLong", std::string(1024, 'x'));
  SetString("Short", "C:\\tools", false);  // stored without its terminator: taken whole
  SetString("Empty", "");
  const DWORD number = 261;
  SetBytes("Number", REG_DWORD, &number, sizeof number);
  const wchar_t expand[] = L"%SystemRoot%";
  SetBytes("Expand", REG_EXPAND_SZ, expand, sizeof expand);
  const std::pair<const char*, std::string> cases[] = {
      {"Folder", folder}, {"Fits", std::string(1023, 'x')},
      {"TooLong", ""},    {"Short", "C:\\tools"},
      {"Empty", ""},      {"Number", "261"},
      {"Expand", ""},     {"Missing", ""}};
  for (const auto& [name, text] : cases) EXPECT_EQ(Read(name), text) << name;
  // Names and key paths compare without regard to case; texts arrive as UTF-8 with their
  // terminating zero.
  std::string upper = root_;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(GetRegistryString(*reader_, upper, "FOLDER"), folder);
  const std::optional<RegistryValue> value = reader_->Query(root_, "Folder");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, kRegSz);
  EXPECT_EQ(value->data.back(), 0);
  EXPECT_FALSE(reader_->Query(root_ + "\\NoSuchKey", "Folder").has_value());
}

TEST(RealRegistryInstall, UtilsFoldersComeFromTheVersionKeys) {
  auto reader = MakeSystemRegistryReader();
  const std::string mirn = "SOFTWARE\\Vantor\\iVantorMirn\\";
  // Another installation on this machine is left alone.
  if (!GetRegistryString(*reader, mirn + "Version Info", "Current Version").empty()) {
    GTEST_SKIP() << "a Mirn installation is registered on this machine";
  }
  auto set = [](const std::string& key, const wchar_t* name, const std::wstring& text) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Utf8ToWide(key).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
  };
  set(mirn + "Version Info", L"Current Version", L"9.9 test");
  EXPECT_EQ(GetMirnUtilsPath(*reader), "\\");  // version known, folder not yet
  set(mirn + "9.9 test\\Install Info", L"Mirn_utils_path", L"C:\\Mirn\\utils");
  EXPECT_EQ(GetMirnUtilsPath(*reader), "C:\\Mirn\\utils\\");
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vantor\\iVantorMirn");
}

}  // namespace
}  // namespace jr

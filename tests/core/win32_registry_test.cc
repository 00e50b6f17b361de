// The registry reader against the machine's own registry: values are written with the
// system's calls under a key of the test's own and read back through the engine's lookup.
// How the utilities folders follow from the values is shown on the registry file.

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

  void Set(const std::string& name, DWORD type, const void* data, size_t size) {
    ASSERT_EQ(RegSetValueExW(key_, Utf8ToWide(name).c_str(), 0, type,
                             static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
              ERROR_SUCCESS);
  }
  void SetString(const std::string& name, const std::string& text, bool terminated = true) {
    const std::wstring wide = Utf8ToWide(text);
    Set(name, REG_SZ, wide.c_str(), (wide.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
  }

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
  const DWORD number = 261;
  Set("Number", REG_DWORD, &number, sizeof number);
  const wchar_t expand[] = L"%SystemRoot%";
  Set("Expand", REG_EXPAND_SZ, expand, sizeof expand);
  // Names compare without regard to case.
  const std::pair<const char*, std::string> cases[] = {
      {"FOLDER", folder}, {"Fits", std::string(1023, 'x')},
      {"TooLong", ""},    {"Short", "C:\\tools"},
      {"Number", "261"},  {"Expand", ""},
      {"Missing", ""}};
  for (const auto& [name, text] : cases) {
    EXPECT_EQ(GetRegistryString(*reader_, root_, name), text) << name;
  }
}

}  // namespace
}  // namespace jr

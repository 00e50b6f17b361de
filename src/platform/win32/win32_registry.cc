// The machine's registry, read through the wide-character interface.
//
// String values arrive as UTF-16 and are handed on as UTF-8, the text of the rest of the
// program, with their terminator kept as one zero byte, so that the reader's rules on the
// terminator and the value size apply to the text as the program holds it: a 1023-character
// folder with its terminator still fits 1024 bytes, as it does where the registry stores
// single-byte text. Other types are handed on as stored.

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/registry.h"
#include "platform/win32/utf.h"

namespace jr {
namespace {

class OpenKey {
 public:
  explicit OpenKey(const std::wstring& path) {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::vector<uint8_t> Utf8Bytes(const std::vector<uint8_t>& utf16) {
  std::wstring wide(utf16.size() / sizeof(wchar_t), L'\0');
  if (!wide.empty()) std::memcpy(wide.data(), utf16.data(), wide.size() * sizeof(wchar_t));
  const bool terminated = !wide.empty() && wide.back() == L'\0';
  if (terminated) wide.pop_back();
  const std::string text = WideToUtf8(wide);
  std::vector<uint8_t> bytes(text.begin(), text.end());
  if (terminated) bytes.push_back(0);
  return bytes;
}

class Win32RegistryReader final : public RegistryReader {
 public:
  std::optional<RegistryValue> Query(std::string_view key, std::string_view name) override {
    OpenKey open(Utf8ToWide(key));
    if (open.get() == nullptr) return std::nullopt;
    const std::wstring value_name = Utf8ToWide(name);
    // A first buffer that holds every value the program can use; a larger value is read
    // whole (it may shrink when turned into UTF-8) and judged by the caller.
    std::vector<uint8_t> data(2048);
    DWORD type = 0;
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
      DWORD size = static_cast<DWORD>(data.size());
      status = RegQueryValueExW(open.get(), value_name.c_str(), nullptr, &type, data.data(), &size);
      data.resize(size);
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    RegistryValue value;
    value.type = type;
    value.data = type == REG_SZ ? Utf8Bytes(data) : data;
    return value;
  }
};

}  // namespace

std::unique_ptr<RegistryReader> MakeSystemRegistryReader() {
  return std::make_unique<Win32RegistryReader>();
}

std::string NamedRegistryFileProblem() { return {}; }

}  // namespace jr

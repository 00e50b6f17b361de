// Writing, removing and listing the files of the credential folder on Windows. The folder
// lies in the user's own profile, which Windows keeps from other users; owners and modes
// are the POSIX system's words and are left empty here.

#include "platform/credential_store.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/credentials.h"
#include "platform/win32/utf.h"

namespace jr {
namespace {

Status Refused(std::string_view name, const std::string& what) {
  return Status::Failed(CredentialFailureStart(name) + what);
}

}  // namespace

Status WriteCredential(const std::string& folder, std::string_view name, std::string_view value) {
  if (Status checked = CheckCredentialToWrite(folder, name, value); !checked.ok()) return checked;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(Utf8ToWide(folder)), ec);
  const std::wstring path = Utf8ToWide(folder + "\\" + std::string(name));
  const std::wstring temporary =
      Utf8ToWide(folder + "\\." + std::string(name) + "." + std::to_string(GetCurrentProcessId()));
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return Refused(name, "cannot write in " + folder + ": " + SystemErrorText(GetLastError()));
  }
  DWORD written = 0;
  DWORD failure = 0;
  if (!WriteFile(file, value.data(), static_cast<DWORD>(value.size()), &written, nullptr) ||
      written != value.size() || !FlushFileBuffers(file)) {
    failure = GetLastError();
  }
  CloseHandle(file);
  if (failure == 0 && !MoveFileExW(temporary.c_str(), path.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failure = GetLastError();
  }
  if (failure != 0) {
    DeleteFileW(temporary.c_str());
    return Refused(name, "cannot write in " + folder + ": " + SystemErrorText(failure));
  }
  return Status::Ok();
}

Status RemoveCredential(const std::string& folder, std::string_view name) {
  if (Status named = CheckCredentialName(name); !named.ok()) return named;
  const std::string path = folder + "\\" + std::string(name);
  if (!DeleteFileW(Utf8ToWide(path).c_str())) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return Refused(name, "there is no " + path);
    }
    return Refused(name, "cannot remove " + path + ": " + SystemErrorText(error));
  }
  return Status::Ok();
}

Result<std::vector<CredentialEntry>> ListCredentials(const std::string& folder) {
  std::vector<CredentialEntry> entries;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(Utf8ToWide(folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return entries;
    return Status::Failed("cannot list the credential folder " + folder + ": " +
                          SystemErrorText(error));
  }
  do {
    const std::string name = WideToUtf8(found.cFileName);
    if (!IsCredentialName(name) || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    CredentialEntry listed{name, {}, {}, {}};
    if (Result<std::string> read = ReadCredential(name, folder); !read.ok()) {
      listed.problem = read.message();
    }
    entries.push_back(std::move(listed));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(entries.begin(), entries.end(),
            [](const CredentialEntry& a, const CredentialEntry& b) { return a.name < b.name; });
  return entries;
}

}  // namespace jr

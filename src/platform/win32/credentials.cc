#include "platform/credentials.h"

#include <windows.h>
// After windows.h, which it needs.
#include <wincred.h>

#include "platform/credential_store.h"
#include "platform/environment.h"
#include "platform/regular_file.h"
#include "platform/win32/utf.h"

namespace jr {
namespace {

// A generic credential's blob as text. Written through CredWriteW by a script it holds the
// UTF-8 bytes; written by the system's own tools it holds UTF-16 text, which shows as a zero
// in every second byte.
std::string BlobText(const unsigned char* blob, DWORD size) {
  bool wide = size > 0 && size % 2 == 0;
  for (DWORD i = 1; wide && i < size; i += 2) wide = blob[i] == 0;
  if (!wide) return std::string(reinterpret_cast<const char*>(blob), size);
  std::wstring text;
  for (DWORD i = 0; i < size; i += 2) text += static_cast<wchar_t>(blob[i] | blob[i + 1] << 8);
  return WideToUtf8(text);
}

}  // namespace

std::string DefaultCredentialFolder() {
  if (std::string roaming = EnvironmentValue("APPDATA"); !roaming.empty()) {
    return roaming + "\\jobrunner\\credentials";
  }
  return {};
}

// Windows keeps no owner and mode the POSIX way: the folder file is taken as it is, the
// folder's access control being the administrator's to set.
Result<std::string> ReadCredential(std::string_view name, const std::string& folder) {
  if (Status named = CheckCredentialName(name); !named.ok()) return named;
  const std::string prefix = CredentialFailureStart(name);
  std::string looked;
  if (!folder.empty()) {
    const std::string path = folder + "\\" + std::string(name);
    FileReadResult read = ReadRegularFile(path, kMaxCredentialBytes + 1);
    if (read.ok()) {
      Result<std::string> value = CredentialValue(name, std::move(read.text));
      if (!value.ok()) value.status.message.insert(prefix.size(), path + ": ");
      return value;
    }
    if (read.status != FileReadStatus::kMissing) {
      return Status::Failed(prefix + path + ": " + read.cause);
    }
    looked = folder + " nor ";
  }
  const std::wstring target = Utf8ToWide("jobrunner/" + std::string(name));
  PCREDENTIALW credential = nullptr;
  if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
    const DWORD error = GetLastError();
    if (error != ERROR_NOT_FOUND) {
      return Status::Failed(prefix +
                            "the Credential Manager cannot be read: " + SystemErrorText(error));
    }
    return CredentialNotFound(
        name,
        looked + "the Credential Manager (generic credential jobrunner/" + std::string(name) + ")");
  }
  std::string bytes = BlobText(credential->CredentialBlob, credential->CredentialBlobSize);
  SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
  CredFree(credential);
  Result<std::string> value = CredentialValue(name, std::move(bytes));
  if (!value.ok())
    value.status.message.insert(prefix.size(),
                                "generic credential jobrunner/" + std::string(name) + ": ");
  return value;
}

}  // namespace jr

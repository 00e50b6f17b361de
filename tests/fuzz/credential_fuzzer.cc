// Feeds arbitrary bytes to the credential reader as the content of a credential file. A
// value it takes must be what the file holds; a value it refuses must be refused without a
// byte of it: the refusal of the same file with every other byte changed reads the same.

#include <stdlib.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/credentials.h"

namespace {

jr::Result<std::string> ReadAs(std::string_view bytes) {
  fuzz::ScratchFile("fuzz", bytes);
  return jr::ReadCredential("fuzz", fuzz::ScratchFolder());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A credential in the environment's folder would be read first.
  static const bool alone = unsetenv("CREDENTIALS_DIRECTORY") == 0;
  fuzz::Require(alone);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const jr::Result<std::string> read = ReadAs(bytes);
  if (read.ok()) {
    std::string_view value = bytes;
    if (!value.empty() && value.back() == '\n') value.remove_suffix(1);
    fuzz::Require(read.value == value && !value.empty() &&
                  value.size() <= jr::kMaxCredentialBytes &&
                  value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos);
    return 0;
  }
  fuzz::Require(read.message().starts_with("credential \"fuzz\": "));
  std::string other(bytes);
  for (char& c : other) {
    if (c != '\r' && c != '\n' && c != '\0') c = c == 'x' ? 'y' : 'x';
  }
  fuzz::Require(ReadAs(other).message() == read.message());
  return 0;
}

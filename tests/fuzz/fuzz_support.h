#pragma once
// What the fuzzers share: the abort that libFuzzer reports as a crash with its input, and
// scratch files in memory where there is /dev/shm, removed when the fuzzer ends.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// A folder of the fuzzer's own, which only its user may write. It is kept where the exit
// handler still finds it.
inline const std::string& ScratchFolder() {
  static const std::string* folder = [] {
    auto* name = new std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    *name += "/fuzz.XXXXXX";
    Require(mkdtemp(name->data()) != nullptr);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchFolder(), ignored);
    });
    return name;
  }();
  return *folder;
}

// The file `name` in the scratch folder, holding `bytes`, mode 0600.
inline std::string ScratchFile(const std::string& name, std::string_view bytes) {
  const std::string path = ScratchFolder() + "/" + name;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Require(fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
  close(fd);
  return path;
}

}  // namespace fuzz

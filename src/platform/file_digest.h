#pragma once
// What identifies a file's content and place: its SHA-256 and its absolute name.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace jr {

// SHA-256 of bytes given piece by piece, so that a large text need not be copied whole to
// leave a part of it out.
class Sha256 {
 public:
  void Add(std::string_view bytes);
  // 64 lower-case hex digits of the bytes added; the digest is used up by it.
  std::string Hex();

 private:
  std::array<uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<unsigned char, 64> block_{};
  size_t held_ = 0;
  uint64_t size_ = 0;
};

// SHA-256 of `bytes`, 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);

// SHA-256 of the file's bytes; fails naming the file when it cannot be read.
Result<std::string> FileSha256(const std::string& path);

// The name made absolute against the current folder, with symbolic links resolved and "."
// and ".." taken out: a job reached through a link is the same job as its target, in the
// run history, its lock and its metrics. Names below the first part that does not exist
// are kept as given; the name itself when none of this is possible. UTF-8 in and out.
std::string AbsoluteFileName(const std::string& path);

// A short name of the file `absolute` for names made from it (a metrics file, a unit):
// its name without a ".xml" ending, each character but A-Z a-z 0-9 made "_", then "_" and
// the first 8 hex digits of the SHA-256 of `absolute`, so that two jobs of one name in
// different folders get different names.
std::string FileNameTag(const std::string& absolute);

// The name of this machine; empty when it cannot be had.
std::string HostName();

}  // namespace jr

#pragma once
// What identifies a file's content and place: its SHA-256 and its absolute name.

#include <string>
#include <string_view>

#include "platform/status.h"

namespace jr {

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

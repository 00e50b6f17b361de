#pragma once
// The few steps of a run lock that each operating system does its own way; the rest of the
// lock (retries, waiting, reading the holder's text) is the same everywhere.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/run_lock.h"

namespace jr {

// An open lock file (a descriptor or a handle), never inherited by a started program: one
// that kept it would keep a dead runner's job locked.
using RunLockFile = intptr_t;

// Opens the lock file for taking, creating it and its folder when needed.
Result<RunLockFile> OpenRunLockFileForTaking(const std::string& path);
// Opens the lock file to ask who holds it; nullopt when there is no such file.
Result<std::optional<RunLockFile>> OpenRunLockFileForAsking(const std::string& path);
void CloseRunLockFile(RunLockFile file);
// Takes the lock without waiting: true when taken, false when another holds it. `shared`
// takes it alongside other askers and only to see whether it is free; it is given back.
Result<bool> TryLockRunLockFile(RunLockFile file, bool shared, const std::string& path);
// The file's text, up to 4 KiB; empty when it cannot be read.
std::string ReadRunLockFile(RunLockFile file);
// Replaces the file's text with `text`.
Status WriteRunLockFile(RunLockFile file, const std::string& text);

}  // namespace jr

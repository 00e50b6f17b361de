#pragma once
// The stand-in's few system calls, one file per operating system.

#include <string>

// The first argument that makes the program only sleep: how a grandchild is started where
// a process cannot be forked.
inline constexpr const char* kGrandchildMode = "-standin-grandchild";

// Appends `text` with one write; false with `error` set.
bool AppendText(const std::string& path, const std::string& text, std::string& error);
// Writes beside `path` and renames over it; false with `error` set.
bool ReplaceFileWith(const std::string& path, const std::string& content, std::string& error);
void SleepMs(long ms);
long ProcessId();
// The process group on POSIX systems; the process id elsewhere.
long ProcessGroupId();
// Leaves a process behind that lives `ms` milliseconds; its id, or -1 with `error` set.
long StartGrandchild(long ms, std::string& error);
// Polite requests to end are ignored from now on.
void IgnoreTerminationRequests();

#pragma once
// The files through which a job line's program reports, and repeat copies, whose file
// names and options derive from those of the line they repeat.

#include <string>
#include <string_view>
#include <vector>

#include "model/run_lines.h"
#include "platform/file_system.h"
#include "platform/status.h"

namespace jr {

// The status file's first line, read as bytes, without its line break (a CR before the LF
// is part of the break). Empty text when the path is blank or the file is missing, empty
// or unreadable.
std::string ReadStatusLine(const FileSystem& file_system, const std::string& path);

// The name of copy number `k` of a result file: the name without its ending of a dot and
// three characters (the ".txt", ".log"), "_Rpt", k, ".txt"; a name without such an ending
// is kept whole before "_Rpt", so the copy's file always lies beside its source's. An
// empty name stays empty: the line has no such file.
std::string RepeatCopyFileName(const std::string& name, int k);

// The file in `run_folder` that the line's program writes its standard output and error to:
// named like its log file, with "_Output.txt" for the log's ending (".txt"): its log file's
// name when the run named that ("NAME_7FlowRun_Log_Output.txt"), else the run name and the
// line number before the name of the log file the line names ("NAME_20_mine_Output.txt"),
// so that no two lines share one; "NAME_20_Output.txt" for a line without a log file.
std::string OutputFileName(const std::string& run_folder, const std::string& run_name,
                           const RunLine& line);

// The arguments `line`'s program is started with: its own options (CleanProgramOptions)
// split into arguments, then the result-file arguments its type's option pattern names,
// from the line's own file names and job id. The same for a job line and its repeat
// copies, which differ only in their file names. Only the own options for a type outside
// the catalogue.
std::vector<std::string> JobLineArguments(const RunLine& line);

// The verdict on a line without a status file: failed unless its program ended by itself
// with exit status 0.
bool FailedByExitStatus(const RunLine& line);

// Appends a repeat copy of `source`, numbered the collection's highest number + 10, with
// the source's definition, a fresh run state and result files of its own. Returns the
// copy, or a failure when the number would exceed 999999.
Result<RunLine*> CreateRepeatCopy(RunLines& collection, const RunLine& source);

}  // namespace jr

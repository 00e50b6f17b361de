#pragma once
// The configuration mode of the stand-in:
//
//   standin -config FILE [-oper X] OPTIONS...
//
// lets the user edit OPTIONS and writes the result as the first line of FILE, or
// "canceled" when the user cancelled. Where a window can be shown (a display exists and
// the build has the window toolkit) a small dialog asks; otherwise the reply is the text of
// JOBRUNNER_STANDIN_CONFIG_REPLY, in which $OPTIONS stands for the options received and
// $OPER for the -oper value. Without that variable the options are written back unchanged.
// Setting the variable always answers without a window, so tests never wait for a user.

#include <string>

namespace standin {

struct ConfigRequest {
  std::string reply_file;
  std::string oper;     // the value after -oper, or empty
  std::string options;  // the remaining words, joined with single blanks
  std::string program;  // argv[0], for the dialog's caption
};

// True when argv[1] is "-config".
bool IsConfigMode(int argc, char** argv);
// Runs the configuration mode; the process's exit status.
int RunConfigMode(int argc, char** argv);

// The dialog of a build with the window toolkit. Returns false when no window can be shown;
// otherwise sets `accepted` and, on OK, `options` to the edited text.
bool AskWithDialog(int argc, char** argv, const ConfigRequest& request, bool& accepted,
                   std::string& options);

}  // namespace standin

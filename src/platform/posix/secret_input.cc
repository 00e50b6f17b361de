#include "platform/secret_input.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

namespace jr {
namespace {

struct termios saved_terminal;
struct sigaction saved_actions[3];
constexpr int kEndingSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// Echo back on before the signal ends the program as it would have without us.
void RestoreAndEnd(int signal_number) {
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_terminal);
  for (int i = 0; i < 3; ++i) sigaction(kEndingSignals[i], &saved_actions[i], nullptr);
  raise(signal_number);
}

}  // namespace

Result<std::string> ReadSecretInput(std::string_view prompt, size_t limit) {
  const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_terminal) == 0;
  if (terminal) {
    struct sigaction action {};
    action.sa_handler = RestoreAndEnd;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) {
      sigaction(kEndingSignals[i], &action, &saved_actions[i]);
      // An ignored signal stays ignored: it must not turn echoing back on mid-value.
      if (saved_actions[i].sa_handler == SIG_IGN)
        sigaction(kEndingSignals[i], &saved_actions[i], nullptr);
    }
    struct termios quiet = saved_terminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    (void)!write(STDERR_FILENO, prompt.data(), prompt.size());
  }
  std::string text;
  int failure = 0;
  char c = 0;
  while (text.size() <= limit) {
    const ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failure = errno;
    if (got <= 0) break;
    text += c;
    if (terminal && c == '\n') break;
  }
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_terminal);
    for (int i = 0; i < 3; ++i) sigaction(kEndingSignals[i], &saved_actions[i], nullptr);
    (void)!write(STDERR_FILENO, "\n", 1);  // the Enter that was not shown
  }
  if (failure != 0)
    return Status::Failed(std::string("cannot read standard input: ") + strerror(failure));
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace jr

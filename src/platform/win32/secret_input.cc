#include "platform/secret_input.h"

#include <windows.h>

#include <cstdio>

namespace jr {

Result<std::string> ReadSecretInput(std::string_view prompt, size_t limit) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved_mode = 0;
  const bool console = GetConsoleMode(input, &saved_mode) != 0;
  if (console) {
    SetConsoleMode(input, saved_mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::fwrite(prompt.data(), 1, prompt.size(), stderr);
    std::fflush(stderr);
  }
  std::string text;
  char c = 0;
  DWORD got = 0;
  while (text.size() <= limit && ReadFile(input, &c, 1, &got, nullptr) && got == 1) {
    text += c;
    if (console && c == '\n') break;
  }
  if (console) {
    SetConsoleMode(input, saved_mode);
    std::fputs("\n", stderr);
  }
  if (!text.empty() && text.back() == '\n') text.pop_back();
  // A console line ends with CR LF.
  if (console && !text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

}  // namespace jr

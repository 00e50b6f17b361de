// A program for the Windows launcher tests to start. Modes:
//   args FILE        writes its raw command line, then each argument as the C run-time
//                    splits it, one a line, into FILE
//   tree FILE        starts a copy of itself that sleeps, writes that copy's process id into
//                    FILE, then sleeps itself
//   sleep MS         sleeps MS milliseconds

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

bool WriteText(const wchar_t* path, const std::wstring& text) {
  // Written under a temporary name and renamed, so that a reader never sees half of it.
  const std::wstring temporary = std::wstring(path) + L".part";
  FILE* file = _wfopen(temporary.c_str(), L"wb");
  if (file == nullptr) return false;
  std::fwrite(text.data(), sizeof(wchar_t), text.size(), file);
  std::fclose(file);
  return MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring mode = argv[1];
  if (mode == L"args") {
    std::wstring text = std::wstring(GetCommandLineW()) + L"\n";
    for (int i = 1; i < argc; ++i) text += std::wstring(argv[i]) + L"\n";
    return WriteText(argv[2], text) ? 0 : 1;
  }
  if (mode == L"sleep") {
    Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    return 0;
  }
  if (mode == L"tree") {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command_line = L"\"" + std::wstring(self) + L"\" sleep 60000";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info)) {
      return 1;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    if (!WriteText(argv[2], std::to_wstring(info.dwProcessId))) return 1;
    Sleep(60000);
    return 0;
  }
  return 2;
}

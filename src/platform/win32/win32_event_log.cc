// The Application event log of the local machine.

#include <windows.h>

#include <string>

#include "platform/event_log.h"
#include "platform/win32/utf.h"

namespace jr {
namespace {

class Win32EventLogSink final : public EventLogSink {
 public:
  int Write(std::string_view source, uint16_t event_type, uint16_t category, uint32_t event_id,
            std::string_view message) override {
    HANDLE log = RegisterEventSourceW(nullptr, Utf8ToWide(source).c_str());
    // A failed registration surfaces as the report's failure, with its own error number.
    if (log == nullptr) return static_cast<int>(GetLastError());
    const std::wstring text = Utf8ToWide(message);
    const wchar_t* strings[] = {text.c_str()};
    // The attached data is the message as the program holds it, with its terminating zero.
    std::string data(message);
    data.push_back('\0');
    int error = 0;
    if (!ReportEventW(log, event_type, category, event_id, nullptr, 1,
                      static_cast<DWORD>(data.size()), strings, data.data())) {
      error = static_cast<int>(GetLastError());
      // Failure must be told from success even if the system gives no number.
      if (error == 0) error = -1;
    }
    DeregisterEventSource(log);
    return error;
  }
};

}  // namespace

std::unique_ptr<EventLogSink> MakeSystemEventLogSink() {
  return std::make_unique<Win32EventLogSink>();
}

}  // namespace jr

// Feeds arbitrary bytes to the reader of calendar files (days off). A calendar it refuses
// must be refused naming the file and the line; one it takes must go on taking a day off
// written behind it, so that no line swallows the next.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "model/schedule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const jr::Result<jr::DaysOff> days = jr::DaysOff::Parse(text, "fuzz.cal");
  if (!days.ok()) {
    fuzz::Require(days.message().starts_with("fuzz.cal: line "));
    return 0;
  }
  const jr::Result<jr::DaysOff> more = jr::DaysOff::Parse(text + "\n 2999-12-31 # probe\r\n", "x");
  fuzz::Require(more.ok() && more.value.Contains("2999-12-31"));
  return 0;
}

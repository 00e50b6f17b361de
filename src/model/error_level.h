#pragma once
// How a run went, as its reports tell it. The status text of the reports, an unattended
// run's exit status, the notice that a run ended and the status the run history keeps all
// follow from it; each turns it into its own words or numbers.

namespace jr {

// In order of severity, so that the worse of two levels is the greater.
enum class ErrorLevel { kNoErrors, kErrors, kFatal };

}  // namespace jr

#pragma once
// Opens the job editor window; chosen by the build (a build without the window prints the
// usage instead).

namespace jr {

int RunWindow(int argc, char** argv);

}  // namespace jr

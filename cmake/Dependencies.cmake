# Outside libraries of the core. The core links no Qt; the window does.
find_package(Threads REQUIRED)
if(WIN32)
  # The Windows cross-build finds none of these as packages for its toolchain.
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsDependencies.cmake)
  return()
endif()
find_package(pugixml REQUIRED)
find_package(SQLite3 REQUIRED)
# Header-only: the option parser and the JSON library of command-line mode.
find_package(CLI11 CONFIG REQUIRED)
find_package(nlohmann_json CONFIG REQUIRED)
# Mail and webhook notices go out through libcurl's SMTP, MIME and HTTP support.
find_package(CURL REQUIRED)
if(UNIX)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
endif()
if(JOBRUNNER_WITH_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Charts Test)
  # The window's job graph is laid out by the graph layout library, in-process.
  pkg_check_modules(GVC REQUIRED IMPORTED_TARGET libgvc)
endif()
if(JOBRUNNER_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()

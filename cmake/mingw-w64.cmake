# Cross-build for 64-bit Windows with the mingw-w64 compilers of the build machine.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DJOBRUNNER_WITH_GUI=OFF
# The "-posix" compilers are used because the default ("-win32") ones lack std::mutex and
# std::thread. Programs are linked statically so that wine needs no compiler run-time DLLs
# beside them; tests and discovery run them through wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(JOBRUNNER_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${JOBRUNNER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${JOBRUNNER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${JOBRUNNER_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${JOBRUNNER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(JOBRUNNER_WINE NAMES wine wine64 wine-stable)
if(JOBRUNNER_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${JOBRUNNER_WINE})
endif()

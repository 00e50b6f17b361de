# Libraries of the Windows cross-build. The build machine packages none of them for the
# mingw toolchain:
# - GoogleTest is built from the sources the distribution ships under /usr/src.
# - XML: a small reader and writer of our own with the subset of the pugixml interface
#   that the job file code uses (src/platform/win32/pugixml).
# - SQLite is not available: the Windows process metadata log is a tab-separated file
#   (src/platform/win32/file_metadata_log.cc) and the SQLite store is left out.
if(JOBRUNNER_WITH_GUI)
  message(FATAL_ERROR "The Windows build has no window: configure it with -DJOBRUNNER_WITH_GUI=OFF")
endif()

# Every program carries a manifest that makes UTF-8 its code page: the C library's file
# and command-line functions then take and give UTF-8, the text of the whole program.
set(JOBRUNNER_UTF8_MANIFEST ${CMAKE_BINARY_DIR}/utf8_manifest.o)
execute_process(
  COMMAND ${CMAKE_RC_COMPILER} ${CMAKE_SOURCE_DIR}/src/platform/win32/utf8_manifest.rc
          -O coff -o ${JOBRUNNER_UTF8_MANIFEST}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/src/platform/win32
  RESULT_VARIABLE JOBRUNNER_RC_RESULT)
if(NOT JOBRUNNER_RC_RESULT EQUAL 0)
  message(FATAL_ERROR "cannot compile the UTF-8 manifest with ${CMAKE_RC_COMPILER}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/src/platform/win32/utf8_manifest.rc
             ${CMAKE_SOURCE_DIR}/src/platform/win32/utf8.manifest)
add_link_options(${JOBRUNNER_UTF8_MANIFEST})

add_subdirectory(${CMAKE_SOURCE_DIR}/src/platform/win32/pugixml
                 ${CMAKE_BINARY_DIR}/third_party/pugixml EXCLUDE_FROM_ALL)

if(JOBRUNNER_BUILD_TESTS)
  set(JOBRUNNER_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${JOBRUNNER_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/third_party/googletest
                   EXCLUDE_FROM_ALL)
  # GoogleTest is outside code: its warnings are not ours to fail on.
  target_compile_options(gtest PRIVATE -Wno-error)
  target_compile_options(gtest_main PRIVATE -Wno-error)
  foreach(library gtest gtest_main)
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
endif()

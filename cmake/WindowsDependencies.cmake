# Libraries of the Windows cross-build. The build machine packages none of them for the
# mingw toolchain, so they are built here from sources:
# - pugixml and SQLite from Debian's source packages, the versions the Linux build links,
#   unpacked by scripts/windows-leg.sh into JOBRUNNER_WINDOWS_SOURCES (pugixml/ and
#   sqlite3/ with SQLite's one-file form made in sqlite3/amalgamation/);
# - libcurl from Debian's source package too, built by that script with curl's own build
#   as a static library on Windows' own TLS, installed into JOBRUNNER_WINDOWS_SOURCES
#   (curl-mingw/);
# - GoogleTest from the sources the distribution ships under /usr/src.
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

set(JOBRUNNER_WINDOWS_SOURCES "" CACHE PATH
    "Folder that scripts/windows-leg.sh prepares: pugixml, sqlite3 and the built libcurl")
set(JOBRUNNER_PUGIXML_SOURCE ${JOBRUNNER_WINDOWS_SOURCES}/pugixml/src/pugixml.cpp)
set(JOBRUNNER_SQLITE_SOURCE ${JOBRUNNER_WINDOWS_SOURCES}/sqlite3/amalgamation/sqlite3.c)
set(JOBRUNNER_CURL_PREFIX ${JOBRUNNER_WINDOWS_SOURCES}/curl-mingw)
foreach(source ${JOBRUNNER_PUGIXML_SOURCE} ${JOBRUNNER_SQLITE_SOURCE}
               ${JOBRUNNER_CURL_PREFIX}/lib/libcurl.a ${JOBRUNNER_CURL_PREFIX}/include/curl/curl.h)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "${source} is missing: set JOBRUNNER_WINDOWS_SOURCES to the folder "
                        "that scripts/windows-leg.sh prepares")
  endif()
endforeach()

# Outside code: built as it comes, its warnings are not ours to fail on.
add_library(pugixml STATIC ${JOBRUNNER_PUGIXML_SOURCE})
get_filename_component(JOBRUNNER_PUGIXML_INCLUDE ${JOBRUNNER_PUGIXML_SOURCE} DIRECTORY)
target_include_directories(pugixml SYSTEM PUBLIC ${JOBRUNNER_PUGIXML_INCLUDE})
target_compile_options(pugixml PRIVATE -w)
add_library(pugixml::pugixml ALIAS pugixml)

add_library(sqlite3 STATIC ${JOBRUNNER_SQLITE_SOURCE})
get_filename_component(JOBRUNNER_SQLITE_INCLUDE ${JOBRUNNER_SQLITE_SOURCE} DIRECTORY)
target_include_directories(sqlite3 SYSTEM PUBLIC ${JOBRUNNER_SQLITE_INCLUDE})
target_compile_options(sqlite3 PRIVATE -w)
# As Debian builds it: thread-safe, with the options the metadata store relies on.
target_compile_definitions(sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)
add_library(SQLite::SQLite3 ALIAS sqlite3)

# The name the Linux build's find_package(CURL) gives. A static libcurl wants its users to
# say so (otherwise its header declares the functions as imported from a DLL) and brings
# the Windows libraries it calls: sockets, certificates and the security interface behind
# Schannel, the random numbers and the registry.
add_library(CURL::libcurl STATIC IMPORTED)
set_target_properties(
  CURL::libcurl
  PROPERTIES IMPORTED_LOCATION ${JOBRUNNER_CURL_PREFIX}/lib/libcurl.a
             INTERFACE_INCLUDE_DIRECTORIES ${JOBRUNNER_CURL_PREFIX}/include
             INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
             INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;secur32;bcrypt;advapi32")

# The option parser and the JSON library are header-only: the Linux build's headers serve
# the cross-build too. Each is reached through a folder that holds only it, so that no
# other header of the build machine can stand in for a Windows one.
function(jobrunner_header_library target folder)
  set(view ${CMAKE_BINARY_DIR}/third_party_headers/${target})
  file(MAKE_DIRECTORY ${view})
  if(NOT IS_SYMLINK ${view}/${folder})
    file(CREATE_LINK /usr/include/${folder} ${view}/${folder} SYMBOLIC)
  endif()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${view})
endfunction()
foreach(header /usr/include/CLI/CLI.hpp /usr/include/nlohmann/json.hpp)
  if(NOT EXISTS ${header})
    message(FATAL_ERROR "${header} is missing: install libcli11-dev and nlohmann-json3-dev")
  endif()
endforeach()
jobrunner_header_library(cli11_headers CLI)
add_library(CLI11::CLI11 ALIAS cli11_headers)
jobrunner_header_library(nlohmann_json_headers nlohmann)
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json_headers)

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

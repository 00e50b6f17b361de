#!/usr/bin/env bash
# Configures a CMake build folder for Ninja: `cmake -G Ninja ARGUMENTS...`. Ninja compiles
# the files of every target as soon as their own inputs are there, where Make first waits
# for every library the target links: with a few large files per target (the unity builds
# of the test command) that keeps both cores busy. A folder configured before for another
# generator (by the demo, or by an older clone) loses its cache first, since CMake will not
# switch a folder's generator in place.
#   Usage: scripts/cmake-ninja.sh -S SOURCE -B FOLDER [CMAKE ARGUMENTS...]
set -euo pipefail
folder=""
previous=""
for argument in "$@"; do
  if [ "$previous" = "-B" ]; then folder=$argument; fi
  previous=$argument
done
if [ -z "$folder" ]; then
  echo "cmake-ninja: no build folder (-B FOLDER) given" >&2
  exit 64
fi
cache="$folder/CMakeCache.txt"
if [ -f "$cache" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache"; then
  rm -rf "$cache" "$folder/CMakeFiles"
fi
exec cmake -G Ninja "$@"

#!/usr/bin/env bash
# The Debian package: made by CPack from BUILD_DIR, it must name its runtime libraries and
# hold a program that runs, its man page and its help pages.
set -euo pipefail
build=${1:?usage: package_test.sh BUILD_DIR}
(cd "$build" && rm -f jobrunner_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/jobrunner_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for library in libpugixml1v5 libsqlite3-0 libsystemd0 libqt6widgets6; do
  case "$depends" in *"$library"*) ;; *) echo "package does not depend on $library: $depends" >&2; exit 1 ;; esac
done
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for file in usr/bin/jobrunner usr/share/man/man1/jobrunner.1 usr/share/jobrunner/help/index.html; do
  [ -s "$root/$file" ] || { echo "package lacks $file" >&2; exit 1; }
done
"$root/usr/bin/jobrunner" --version >/dev/null
echo "package: $(basename "$deb") passed"

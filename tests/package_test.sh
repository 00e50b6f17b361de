#!/usr/bin/env bash
# The Debian package: made by CPack from BUILD_DIR, it must name its runtime libraries and
# hold a stripped program that runs without the window's libraries, the editor's executable,
# its man page, its help pages, and the desktop entry and icon that put the editor in the
# applications menu.
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
for file in usr/bin/jobrunner usr/libexec/jobrunner/jobrunner-window usr/share/man/man1/jobrunner.1 \
  usr/share/jobrunner/help/index.html usr/share/applications/jobrunner.desktop \
  usr/share/icons/hicolor/scalable/apps/jobrunner.svg; do
  [ -s "$root/$file" ] || { echo "package lacks $file" >&2; exit 1; }
done
entry="$root/usr/share/applications/jobrunner.desktop"
for line in 'Type=Application' 'Name=Extraction Job Runner' 'Exec=jobrunner --edit %f' \
  'Icon=jobrunner' 'Terminal=false' 'Categories=System;Utility;'; do
  grep -qxF "$line" "$entry" || { echo "desktop entry lacks $line" >&2; exit 1; }
done
grep -q '^Comment=.' "$entry" || { echo "desktop entry lacks a comment" >&2; exit 1; }
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry"; fi
grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/jobrunner.svg" ||
  { echo "the icon is no SVG image" >&2; exit 1; }
if readelf -S "$root/usr/bin/jobrunner" | grep -qE '\.(debug_info|symtab)\b'; then
  echo "usr/bin/jobrunner is not stripped" >&2
  exit 1
fi
"$root/usr/bin/jobrunner" --version >/dev/null
# A command-line run loads no window library: only the editor's executable links Qt.
if readelf -d "$root/usr/bin/jobrunner" | grep -q 'NEEDED.*libQt'; then
  echo "usr/bin/jobrunner links Qt: $(readelf -d "$root/usr/bin/jobrunner" | grep -o 'libQt[^]]*' | tr '\n' ' ')" >&2
  exit 1
fi
echo "package: $(basename "$deb") passed"

#!/usr/bin/env bash
# Lays out a stand-in installation of the programs the runner starts, for the demo and
# the end-to-end tests:
#   DIR/keld/utils/   the catalogue programs and the report generator "PageGen.exe"
#   DIR/keld/Jobs/    the two report templates (found as utils/../Jobs/)
#   DIR/mirn/utils/   "Inspector.exe"
#   DIR/registry.reg  the registry file that points the runner at them
# Usage: make-utilities.sh DIR [BIN_DIR]   (BIN_DIR: the built stand-ins, default build/bin)
set -euo pipefail
dir=${1:?usage: make-utilities.sh DIR [BIN_DIR]}
bin=${2:-"$(cd "$(dirname "$0")/.." && pwd)/build/bin"}
for needed in standin pagegen templates/AdminRepJobTemplate.htm templates/UserRepJobTemplate.htm; do
  [ -e "$bin/$needed" ] || { echo "make-utilities.sh: $bin/$needed is missing; build first" >&2; exit 1; }
done
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
mkdir -p "$dir/keld/utils" "$dir/keld/Jobs" "$dir/mirn/utils"
for program in RunVantorJob.exe SDUserDownload.exe RunQM.exe FlowRun.exe ScanAnomalies.exe \
  MemberPurger.exe SettingsEditor.exe BuildAggr.exe; do
  install -m 755 "$bin/standin" "$dir/keld/utils/$program"
done
install -m 755 "$bin/standin" "$dir/mirn/utils/Inspector.exe"
install -m 755 "$bin/pagegen" "$dir/keld/utils/PageGen.exe"
install -m 644 "$bin/templates/AdminRepJobTemplate.htm" "$bin/templates/UserRepJobTemplate.htm" \
  "$dir/keld/Jobs/"

# Registry values are written with doubled backslashes, as the export format escapes them.
reg_escape() { printf '%s' "$1" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g'; }
cat >"$dir/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\VantorKeld\\Version Info]
"Current Version"="5.2"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\VantorKeld\\5.2\\Install Info]
"Keld_utils_path"="$(reg_escape "$dir/keld/utils/")"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\iVantorMirn\\Version Info]
"Current Version"="3.1"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantor\\iVantorMirn\\3.1\\Install Info]
"Mirn_utils_path"="$(reg_escape "$dir/mirn/utils/")"
REG
echo "$dir"

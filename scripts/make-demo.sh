#!/usr/bin/env bash
# Prepares the demo in DIR: a stand-in installation of the outside programs, the user
# script, the folders and the demo job file.  Usage: make-demo.sh DIR [BIN_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$(bash "$here/scripts/make-utilities.sh" "$@")
mkdir -p "$dir/logs" "$dir/reports" "$dir/scripts" "$dir/work"
install -m 755 "$here/examples/transfer.sh" "$dir/scripts/transfer.sh"
# The demo folder goes into XML attributes: escape what XML needs escaped.
xml_dir=$(printf '%s' "$dir" | sed -e 's/&/\&amp;/g' -e 's/"/\&quot;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/[|]/\\|/g')
sed "s|@DEMO@|$xml_dir|g" "$here/examples/demo-job.xml.in" >"$dir/demo-job.xml"
echo "$dir"

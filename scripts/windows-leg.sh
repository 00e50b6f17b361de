#!/usr/bin/env bash
# The Windows leg of CI: cross-compiles the core, its tests, the window-less jobrunner and
# the stand-in programs for 64-bit Windows with mingw-w64, runs the tests under wine
# through CTest, then runs whole jobs under wine: catalogue stand-ins and batch-file job
# lines, utilities folders in the wine registry, definition files and reports, exit
# statuses, a webhook notice. Prints how long each step took.
#   Usage: scripts/windows-leg.sh [--prepare] [BUILD_DIR]   (default build-win)
#     --prepare  only what comes before the build, much of it waiting on the network and
#                the disk: the tools, the libraries and a wine prefix. The test command runs
#                it beside its Linux builds; the next run on the same BUILD_DIR without it
#                then starts at the build. Any other run prepares first.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
prepare_only=false
if [ "${1:-}" = "--prepare" ]; then
  prepare_only=true
  shift
fi
build=${1:-build-win}
jobs=$(nproc)
mkdir -p "$build"
build=$(cd "$build" && pwd)
sources="$build/sources"
prepared="$build/prepared"
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would look for a network.
export WINEDLLOVERRIDES="mscoree,mshtml="

source scripts/step-timings.sh

# What the leg builds is for its tests: a Release build at -O1 keeps the optimizer's
# warnings and its assumptions about the code, at well under half the compile time of -O3
# (sqlite3.c alone takes 12 processor seconds instead of over 30).
optimize=(-DCMAKE_C_FLAGS_RELEASE="-O1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG")

prepare() {
  # ---- Tools -----------------------------------------------------------------------------
  step "install mingw-w64 and wine"
  bash scripts/install-deps.sh --windows-leg
  step_done "install"

  # ---- Libraries -------------------------------------------------------------------------
  # pugixml, SQLite and libcurl are built from Debian's source packages for the mingw
  # toolchain, the same versions the Linux build links. The downloads are kept in a cache
  # folder outside the clone and checked against their .dsc on every use.
  step "fetch pugixml, sqlite3 and curl sources"
  cache=${JOBRUNNER_SOURCE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/jobrunner/debian-sources}
  bash scripts/install-deps.sh --sources "$cache" pugixml sqlite3 curl
  rm -rf "$sources"
  mkdir -p "$sources"
  # source_package NAME VERSION: prints the .dsc of that version of Debian's source package.
  source_package() {
    local dsc
    dsc=$(compgen -G "$cache/${1}_${2}-*.dsc" | head -n 1 || true)
    if [ -z "$dsc" ]; then
      echo "Windows leg: Debian's $1 source package is not version $2:" \
        "$(ls "$cache" | grep "^${1}_" | tr '\n' ' ')" >&2
      return 1
    fi
    echo "$dsc"
  }
  # unpack DSC FOLDER: the upstream sources with Debian's patches applied, in FOLDER (its
  # signature cannot be checked without Debian's keyring; apt checked the .dsc against the
  # archive's index).
  unpack() {
    (cd "$(dirname "$2")" && dpkg-source --no-copy -x "$1" "$(basename "$2")" >/dev/null 2>&1) || {
      echo "Windows leg: cannot unpack $1" >&2
      return 1
    }
  }
  for package in pugixml:1.13 sqlite3:3.40.1; do
    dsc=$(source_package "${package%%:*}" "${package#*:}")
    unpack "$dsc" "$sources/${package%%:*}"
  done
  curl_dsc=$(source_package curl 7.88.1)
  step_done "fetch sources"

  step "sqlite3 amalgamation"
  # SQLite's source tree makes its one-file form (sqlite3.c, sqlite3.h) with a configured
  # Makefile; that step runs on the build machine, the mingw build then compiles the file.
  mkdir -p "$sources/sqlite3/amalgamation"
  if ! (cd "$sources/sqlite3/amalgamation" && ../configure --disable-tcl &&
    make sqlite3.c) >"$build/sqlite3-amalgamation.log" 2>&1; then
    tail -n 30 "$build/sqlite3-amalgamation.log" >&2
    echo "Windows leg: making sqlite3.c failed (log: $build/sqlite3-amalgamation.log)" >&2
    exit 1
  fi
  step_done "sqlite3 amalgamation"

  step "libcurl"
  # A static libcurl with Windows' own TLS (Schannel, certificates from the Windows store)
  # and nothing else from outside: no compression, IDN or HTTP/2 libraries, and of its
  # protocols only those notices use. Its sources are compiled in batches, as ours are: a
  # sixth of the processor time of one file at a time (22 against 138 s here). Its
  # configuration starts from the answers its checks gave this toolchain before
  # (cmake/mingw-curl-checks.cmake): 2 s instead of nearly two minutes. The result is kept
  # in the cache folder under a key made of the .dsc, these options, those answers and the
  # compiler; a later run with the same key copies it instead.
  curl_options=(-DCMAKE_BUILD_TYPE=Release "${optimize[@]}" -DCMAKE_UNITY_BUILD=ON
    -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF
    -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF
    -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF
    # A CA bundle of the build machine would replace the Windows store at run time.
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_FTP=ON -DCURL_DISABLE_FILE=ON
    -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_TFTP=ON
    -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_IMAP=ON
    -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_SMB=ON)
  curl_checks="$source_dir/cmake/mingw-curl-checks.cmake"
  curl_key=$({ cat "$curl_dsc" "$curl_checks"; printf '%s\n' "${curl_options[@]}"
    x86_64-w64-mingw32-gcc-posix --version | head -n 1; } | sha256sum | cut -c1-16)
  curl_built="$cache/mingw-w64/curl-$curl_key"
  if [ ! -s "$curl_built/lib/libcurl.a" ]; then
    rm -rf "$build/curl-build" "$sources/curl" "$curl_built.partial"
    unpack "$curl_dsc" "$sources/curl"
    if ! { bash scripts/cmake-ninja.sh -S "$sources/curl" -B "$build/curl-build" \
      -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64.cmake" -C "$curl_checks" \
      -DCMAKE_INSTALL_PREFIX="$curl_built.partial" "${curl_options[@]}" &&
      cmake --build "$build/curl-build" -j"$jobs" && cmake --install "$build/curl-build"; } \
      >"$build/curl.log" 2>&1; then
      tail -n 30 "$build/curl.log" >&2
      echo "Windows leg: building libcurl failed (log: $build/curl.log)" >&2
      exit 1
    fi
    # Only a finished build takes the key's name; builds under other keys are dropped.
    for other in "$cache/mingw-w64"/curl-*; do
      [ "$other" = "$curl_built.partial" ] || rm -rf "$other"
    done
    mv "$curl_built.partial" "$curl_built"
    rm -rf "$build/curl-build" "$sources/curl"
  fi
  cp -r "$curl_built" "$sources/curl-mingw"
  step_done "libcurl"

  # ---- Wine prefix -------------------------------------------------------------------------
  step "create the wine prefix"
  mkdir -p "$WINEPREFIX"
  wineserver -k >/dev/null 2>&1 || true
  # The prefix is set up in the background after wineboot returns; waiting for its server
  # to end lets the tests start on a prefix that is done. Wine processes started together
  # on a prefix without a running server race to start one, and a loser ends at once,
  # failed, with only "wine: chdir to ... : No such file or directory" to show for it.
  wineboot -i >/dev/null 2>&1
  wineserver -w
  step_done "wine prefix"
  touch "$prepared"
}

if [ -f "$prepared" ] && ! $prepare_only; then
  echo "== tools, libraries and wine prefix: prepared beside the other builds"
else
  rm -f "$prepared"
  prepare
fi
if $prepare_only; then
  print_timings "Windows leg preparation timings"
  exit 0
fi
# Prepared once for one run: a later run prepares again.
rm -f "$prepared"

step "start the wine server"
# A server that stays up from here to the end: every wine process finds it running, and
# none pays for starting one. Its own output goes nowhere, and the prefix's background
# services are started here, also with no output: a process that holds the output pipe
# of a test (or of the test discovery during the build) would keep that pipe open and make
# the test wait until its time-out.
wineserver -p >/dev/null 2>&1 </dev/null
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot >/dev/null 2>&1 </dev/null
step_done "wine server"

# ---- Build ---------------------------------------------------------------------------------
step "cross-compile"
# Quiet unless it fails: then the end of the log says why.
if ! { bash scripts/cmake-ninja.sh -S "$source_dir" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  "${optimize[@]}" -DJOBRUNNER_WITH_GUI=OFF -DJOBRUNNER_BUILD_BENCH=OFF \
  -DCMAKE_UNITY_BUILD=ON -DJOBRUNNER_WINDOWS_SOURCES="$sources" &&
  cmake --build "$build" -j"$jobs"; } >"$build/build.log" 2>&1; then
  tail -n 60 "$build/build.log" >&2
  echo "Windows leg: the cross-build failed (log: $build/build.log)" >&2
  exit 1
fi
step_done "build"

# ---- Tests under wine ---------------------------------------------------------------------
step "core tests under wine"
(cd "$build" && ctest --output-on-failure -j"$jobs")
step_done "tests"

# ---- Whole jobs under wine ----------------------------------------------------------------
step "end-to-end runs under wine"
drive_c="$WINEPREFIX/drive_c"
root="$drive_c/jr-e2e"
win_root='C:\jr-e2e'
rm -rf "$root"
mkdir -p "$root/keld/utils" "$root/keld/Jobs" "$root/mirn/utils" "$root/logs" "$root/reports" \
  "$root/user scripts" "$root/jobs" "$root/work"
bin="$build/bin"
for program in RunVantorJob.exe SDUserDownload.exe RunQM.exe FlowRun.exe ScanAnomalies.exe \
  MemberPurger.exe SettingsEditor.exe BuildAggr.exe; do
  cp "$bin/standin.exe" "$root/keld/utils/$program"
done
cp "$bin/standin.exe" "$root/mirn/utils/Inspector.exe"
cp "$bin/pagegen.exe" "$root/keld/utils/PageGen.exe"
cp "$bin/templates/AdminRepJobTemplate.htm" "$bin/templates/UserRepJobTemplate.htm" \
  "$root/keld/Jobs/"

# The utilities folders as the installers record them, in the registry of the prefix.
add_value() { wine reg add "$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null; }
add_value 'HKLM\SOFTWARE\Vantor\VantorKeld\Version Info' "Current Version" "5.2"
add_value 'HKLM\SOFTWARE\Vantor\VantorKeld\5.2\Install Info' "Keld_utils_path" "$win_root\\keld\\utils"
add_value 'HKLM\SOFTWARE\Vantor\iVantorMirn\Version Info' "Current Version" "3.1 beta"
add_value 'HKLM\SOFTWARE\Vantor\iVantorMirn\3.1 beta\Install Info' "Mirn_utils_path" \
  "$win_root\\mirn\\utils\\"

# User batch files receive the status file, the log file and the job id behind their own
# options; these take the status to write as their first word.
cat >"$root/user scripts/write status.bat" <<'BAT'
@echo off
echo running>"%~2"
echo %~1 started for job %4>>"%~3"
echo %~1>"%~2"
BAT
printf '@echo off\r\necho transfer done>>"%%~2"\r\necho ok>"%%~1"\r\n' >"$root/user scripts/transfer.cmd"
sed -i 's/$/\r/' "$root/user scripts/write status.bat"

# job NAME MAXIMUM LINES...: a job file with reports named after the job, with the header
# attributes in $job_attributes besides.
job() {
  local name=$1 maximum=$2
  shift 2
  {
    printf '<VANTORSOREL_Job_specification Description="Windows leg: %s" ' "$name"
    printf 'LogFile="%s\\reports\\%s-admin.htm" UserFile="%s\\reports\\%s-user.htm" ' \
      "$win_root" "$name" "$win_root" "$name"
    printf 'TempLogDir="%s\\logs\\%s" LogToEventLog="true" Exportdate="now" MaxParallel="%s"%s>\n' \
      "$win_root" "$name" "$maximum" "${job_attributes:+ $job_attributes}"
    printf '  <BatchLines>\n'
    for line in "$@"; do printf '    %s\n' "$line"; done
    printf '  </BatchLines>\n</VANTORSOREL_Job_specification>\n'
  } >"$root/jobs/$name job.xml"
  mkdir -p "$root/logs/$name"
}
# line NUMBER TYPE OPTIONS WAIT STOP [BATCH_FILE]
line() {
  local batch=""
  if [ -n "${6:-}" ]; then
    batch="own_batch_file=\"$win_root\\user scripts\\$6\" int_log_file=\"$win_root\\work\\$1 log.txt\" int_err_file=\"$win_root\\work\\$1 status.txt\" "
  fi
  printf '<BatchLine batch_line="%s" batch_line_description="line %s" batch_line_type="%s" options="%s" wait="%s" stop_on_error="%s" active="true" %sskip_on_error="" skip_on_success="" repeat_on_error="" repeat_on_success=""/>' \
    "$1" "$1" "$2" "$3" "$4" "$5" "$batch"
}

job ok 2 \
  "$(line 10 "Flow Runner" "-sleep 300" "" true)" \
  "$(line 20 "Scan Anomalies" "" 10 false)" \
  "$(line 30 "User Batchfile" "ok" 10 false "write status.bat")" \
  "$(line 40 "User Batchfile" "" "20,30" false "transfer.cmd")" \
  "$(line 50 "Health Inspector" "-sleep 100" 40 false)"
job errors 3 \
  "$(line 10 "Run Quillmart script" "" "" false)" \
  "$(line 20 "User Batchfile" "failure" "" false "write status.bat")"
job fatal 1 \
  "$(line 10 "Build Aggregates" "-status failure" "" true)" \
  "$(line 20 "Flow Runner" "" 10 false)"
job refused 100 "$(line 10 "Flow Runner" "" "" false)"
job stopped 2 \
  "$(line 10 "Build Aggregates" "-sleep 120000 -grandchild 120000 -grandchild-pid $win_root\\work\\grandchild.pid" "" false)" \
  "$(line 20 "Flow Runner" "" 10 false)"
printf 'this is no job file\n' >"$root/jobs/broken job.xml"

failures=0
check() {
  if eval "$2"; then
    echo "  ok: $1"
  else
    echo "  FAILED: $1"
    failures=$((failures + 1))
  fi
}
export JOBRUNNER_METADATA_DB="$win_root\\metadata.sqlite"
# run NAME WORDS...: runs jobrunner on the words as its command line; sets $status.
run() {
  local name=$1
  shift
  set +e
  wine "$bin/jobrunner.exe" "$@" >"$root/work/$name.out" 2>"$root/work/$name.err"
  status=$?
  set -e
  sed 's/^/    /' "$root/work/$name.err"
}
reports_of() {
  local name=$1
  check "$name: administrators' report" "[ -s '$root/reports/$name-admin.htm' ]"
  check "$name: end users' report" "[ -s '$root/reports/$name-user.htm' ]"
  check "$name: definition files in the run folder" \
    "compgen -G '$root/logs/$name/*/SorelJob~*_RepDef.txt' >/dev/null && compgen -G '$root/logs/$name/*/SorelJob~*_UserDef.txt' >/dev/null"
}

# The file name has a blank and is given as two words: they are joined into one name.
run ok "$win_root\\jobs\\ok" "job.xml"
check "ok: exit status 0" "[ $status -eq 0 ]"
reports_of ok
check "ok: every line finished" \
  "grep -q 'finished without errors' '$root'/logs/ok/*/SorelJob~*_UserDef.txt"
check "ok: the batch files wrote their status and log files" \
  "grep -q ok '$root/work/30 status.txt' && grep -q 'transfer done' '$root/work/40 log.txt'"
check "ok: the Mirn program was found through the registry" \
  "compgen -G '$root/logs/ok/*/*HealthInspector_Stat.txt' >/dev/null"
check "ok: no event log failure shown" "! grep -q 'while writing event' '$root/work/ok.err'"
# The database the Windows build wrote is read back with this machine's sqlite3.
check "ok: one metadata row per line, read back with sqlite3" \
  "[ \"\$(sqlite3 '$root/metadata.sqlite' 'SELECT COUNT(*) FROM process_metadata')\" = 5 ]"

run errors "$win_root\\jobs\\errors job.xml"
check "errors: exit status 1" "[ $status -eq 1 ]"
reports_of errors
check "errors: final status" \
  "grep -q 'finished with error(s)' '$root'/logs/errors/*/SorelJob~*_UserDef.txt"

run fatal "$win_root\\jobs\\fatal job.xml"
check "fatal: exit status 2" "[ $status -eq 2 ]"
reports_of fatal
check "fatal: final status" \
  "grep -q 'finished with fatal error' '$root'/logs/fatal/*/SorelJob~*_UserDef.txt"

run refused "$win_root\\jobs\\refused job.xml"
check "maximum of 100: exit status 4" "[ $status -eq 4 ]"
run broken "$win_root\\jobs\\broken job.xml"
check "no job file: exit status 3" "[ $status -eq 3 ]"
run missing "$win_root\\jobs\\missing job.xml"
check "missing job file: exit status 3" "[ $status -eq 3 ]"
run usage
check "no arguments: the usage, exit status 64" "[ $status -eq 64 ] && grep -q Usage '$root/work/usage.err'"

# A job that asks to be told after every run posts its webhook through the cross-built
# libcurl to an HTTP server of this machine: the end-to-end tests' sink, which takes a
# free port and keeps each POST as a JSON file beside it.
hooks="$root/work/webhook"
mkdir -p "$hooks"
python3 "$source_dir/tests/support/notice_sinks.py" http "$hooks" &
hook_server=$!
trap 'kill "$hook_server" 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true' EXIT
for _ in $(seq 100); do
  [ -s "$hooks/port" ] && break
  sleep 0.1
done
job_attributes="NotifyWebhook=\"http://127.0.0.1:$(cat "$hooks/port")/jobrunner\" NotifyOn=\"always\"" \
  job webhook 1 "$(line 10 "Flow Runner" "" "" false)"
run webhook "$win_root\\jobs\\webhook job.xml"
kill "$hook_server" 2>/dev/null || true
wait "$hook_server" 2>/dev/null || true
# The JSON body of the first POST names the event and the job file the run was given.
webhook_received() {
  python3 - "$hooks/1.json" "$win_root\\jobs\\webhook job.xml" <<'PY'
import json, sys
post = json.load(open(sys.argv[1]))
notice = post["body"]
sys.exit(not (post["content_type"] == "application/json" and notice["event"] == "finished"
              and notice["job_file"] == sys.argv[2]))
PY
}
check "webhook: exit status 0" "[ $status -eq 0 ]"
check "webhook: the server received the finished run of the job file as JSON" webhook_received

# A credential named in a line's options reaches the line's program as its value, from the
# credential folder (wine's Credential Manager is not used: the folder is what the tests
# can write), and the value shows nowhere the run writes.
mkdir -p "$root/credentials"
printf 'wine-leg-s3cret\n' >"$root/credentials/winleg"
printf '@echo off\r\necho %%~1>"%s\\work\\credential seen.txt"\r\necho ok>"%%~2"\r\n' "$win_root" \
  >"$root/user scripts/credential.bat"
job credential 1 "$(line 10 "User Batchfile" "@cred:winleg" "" false "credential.bat")"
JOBRUNNER_CREDENTIALS_DIR="$win_root\\credentials" run credential "$win_root\\jobs\\credential job.xml"
check "credential: exit status 0" "[ $status -eq 0 ]"
check "credential: the line's program got the value" \
  "grep -q wine-leg-s3cret '$root/work/credential seen.txt'"
check "credential: the value is in no file the run wrote nor in its messages" \
  "! grep -rqa --exclude-dir=credentials --exclude='credential seen.txt' wine-leg-s3cret '$root'"

# Ctrl+C (wine turns SIGINT into the console's Ctrl+C event) ends the job lines with the
# processes they started, and the reports are still written.
# Starts the job whose line's program starts a child of its own, in the background (its
# process in $runner), and waits until that child is there.
start_stopped_job() {
  rm -f "$root/work/grandchild.pid"
  wine "$bin/jobrunner.exe" "$win_root\\jobs\\stopped job.xml" >"$root/work/$1.out" \
    2>"$root/work/$1.err" &
  runner=$!
  for _ in $(seq 600); do
    [ -s "$root/work/grandchild.pid" ] && break
    sleep 0.1
  done
}
start_stopped_job stopped
sleep 1
# While it runs, a second run of the same job is refused.
run second "$win_root\\jobs\\stopped job.xml"
check "a second run of a job that goes on: exit status 5" "[ $status -eq 5 ]"
kill -INT "$runner"
set +e
wait "$runner"
status=$?
set -e
sed 's/^/    /' "$root/work/stopped.err"
check "Ctrl+C: exit status 2" "[ $status -eq 2 ]"
reports_of stopped
check "Ctrl+C: the job line's program and its own child were ended" \
  "! pgrep -f -- '-standin-grandchild' >/dev/null && ! pgrep -f 'BuildAggr.exe -sleep' >/dev/null"

# A runner killed outright ends nothing itself; its lines end with the job object, whose
# last handle the runner's end closes.
start_stopped_job killed
kill -KILL "$runner"
{ wait "$runner"; } 2>/dev/null || true  # no "Killed" notice
for _ in $(seq 100); do
  pgrep -f -- '-standin-grandchild' >/dev/null || pgrep -f 'BuildAggr.exe -sleep' >/dev/null ||
    break
  sleep 0.1
done
check "killed runner: the job line's program and its own child were ended" \
  "! pgrep -f -- '-standin-grandchild' >/dev/null && ! pgrep -f 'BuildAggr.exe -sleep' >/dev/null"
step_done "end-to-end"

print_timings "Windows leg timings"
if [ "$failures" -ne 0 ]; then
  echo "Windows leg: $failures end-to-end check(s) failed" >&2
  exit 1
fi
echo "Windows leg: all end-to-end checks passed"

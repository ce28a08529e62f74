#!/usr/bin/env bash
# qvlinst under Wine, with Wine's own spooler (localspl) taking the monitor into service.
#   installer_test.sh QVLINST_EXE PROBE_DLL SPOOLER_PROBE_EXE REAL_DLL_NEEDED [I686_QVLINST_EXE]
# QVLINST_EXE's folder holds the real qvllink.dll, qvlpanel.exe and the status message files
# (the build puts them there). PROBE_DLL is a test monitor that logs InitializePrintMonitor2,
# Shutdown, load and unload into "<its path>.log"; it is installed as qvllink.dll first. The
# real qvllink.dll follows when it has the NT entry (REAL_DLL_NEEDED=yes: it must have it).
# I686_QVLINST_EXE (64-bit prefix only): the 32-bit build, which must refuse to install there.
# Needs the environment of scripts/wine-env (QVL_WINE, QVL_SYSDIR, WINEPREFIX).
set -u
qvlinst=$1 probe_dll=$2 spooler_probe=$3 real_needed=$4 other_qvlinst=${5:-}
if [ -z "${QVL_WINE:-}" ] || [ -z "${QVL_SYSDIR:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "SKIP: run under scripts/wine-env (QVL_WINE, QVL_SYSDIR, WINEPREFIX)"
  exit 77
fi
real_dir=$(dirname "$qvlinst")
sys=$QVL_SYSDIR
products="qvllink.dll qvlpanel.exe qvl3470 qvl3820"
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
monitor_key='HKLM\System\CurrentControlSet\Control\Print\Monitors\QVL Language Monitor'
pending_key='HKLM\System\CurrentControlSet\Control\Session Manager'
signin='"C:\windows\system32\qvlpanel.exe" /signin'
log=$sys/qvllink.dll.log

work=$(mktemp -d)
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# Wine's spooler runs inside the calling process and loads "qvllink.dll" by the usual search,
# which looks in the program's own folder first: qvlinst runs from a folder without one, so
# the copy in the system directory is the one taken into service.
mkdir -p "$work/bin" "$work/probe" "$work/saved"
cp "$qvlinst" "$work/bin/qvlinst.exe"
cp "$real_dir/qvlpanel.exe" "$real_dir"/qvl[0-9]* "$work/probe/"
cp "$probe_dll" "$work/probe/qvllink.dll"
probe_from=$(winpath "$work/probe")
real_from=$(winpath "$real_dir")

failures=0
out=$work/out
fail() {
  echo "FAIL: $1"
  failures=$((failures + 1))
}
# expect CODE WHAT COMMAND...: runs COMMAND (output in $out), checks its exit code.
expect() {
  local want=$1 what=$2
  shift 2
  "$@" >"$out" 2>&1
  local got=$?
  if [ "$got" != "$want" ]; then
    fail "$what: exit $got, expected $want; output:"
    sed 's/^/    /' "$out"
  fi
}
# says TEXT WHAT: the last command's output has TEXT (fixed string).
says() { grep -qF -- "$1" "$out" || { fail "$2: no \"$1\" in:"; sed 's/^/    /' "$out"; }; }
inst() { "$QVL_WINE" "$work/bin/qvlinst.exe" "$@"; }
probe() { "$QVL_WINE" "$spooler_probe" "$@"; }
signin_value() {
  "$QVL_WINE" reg query "$run_key" /v "QVL Status Display" 2>/dev/null | tr -d '\r' | grep -F 'QVL Status Display'
}
present() { for f in "$@"; do [ -e "$sys/$f" ] || { echo "$f missing"; return 1; }; done; }
absent() { for f in "$@"; do [ ! -e "$sys/$f" ] || { echo "$f left"; return 1; }; done; }
hold() {  # hold FILE MS: FILE in the system directory opened without sharing, in the background
  probe hold "C:\\windows\\system32\\$1" "$2" >"$work/hold.out" 2>&1 &
  hold_pid=$!
  for _ in $(seq 100); do grep -q held "$work/hold.out" && return 0; sleep 0.05; done
  fail "could not hold $1: $(cat "$work/hold.out")"
}
# Back to a prefix without the product: no registration, no Run value, no files.
clean() {
  inst uninstall >/dev/null 2>&1
  "$QVL_WINE" reg delete "$monitor_key" /f >/dev/null 2>&1
  "$QVL_WINE" reg delete "$run_key" /v "QVL Status Display" /f >/dev/null 2>&1
  "$QVL_WINE" reg delete "$pending_key" /v PendingFileRenameOperations /f >/dev/null 2>&1
  "$QVL_WINE" reg delete 'HKCU\Software\Wine\AppDefaults\qvlinst.exe' /f >/dev/null 2>&1
  for f in $products; do rm -rf "${sys:?}/$f"; done
  rm -f "$log"
}
# Other tests put their own qvlpanel.exe into the system directory: kept and put back.
for f in $products; do [ -e "$sys/$f" ] && mv "$sys/$f" "$work/saved/"; done
finish() {
  clean
  for f in "$work"/saved/*; do [ -e "$f" ] && mv "$f" "$sys/"; done
  rm -rf "$work"
}
trap finish EXIT
clean

echo "--- the command line"
expect 2 "no command" inst
says "usage: qvlinst install [--from DIR] | uninstall | status" "usage shown"
expect 2 "unknown command" inst remove
says "unknown command 'remove'" "the unknown command named"
for word in --help help "/?"; do
  expect 0 "qvlinst $word" inst "$word"
  says "qvlinst uninstall             unregister the monitor" "$word says what each command does"
  says "qvlinst install --client [--from DIR]" "$word names the client install"
done
expect 2 "--from without a folder" inst install --from
expect 2 "status with an argument" inst status now

echo "--- a prefix without the product"
expect 1 "status before installing" inst status
says "state            not installed" "status says not installed"
expect 6 "uninstall before installing" inst uninstall
says 'the monitor "QVL Language Monitor" is not installed' "uninstall says not installed"
expect 6 "ipp-uri before installing" inst ipp-uri IP_10.0.0.7 ipp://10.0.0.7/ipp/print

echo "--- source files missing"
mkdir -p "$work/partial"
cp "$work/probe/qvllink.dll" "$work/probe"/qvl[0-9]* "$work/partial/"
expect 7 "install without qvlpanel.exe" inst install --from "$(winpath "$work/partial")"
says "qvlpanel.exe is missing" "the missing file is named"
rm "$work/partial"/qvl[0-9]*
cp "$work/probe/qvlpanel.exe" "$work/partial/"
expect 7 "install without status message files" inst install --from "$(winpath "$work/partial")"
says "status message files" "the missing status message files are named"
expect 7 "install from a folder that is not there" inst install --from 'C:\no\such\folder'
says 'the folder C:\no\such\folder is missing' "the missing folder is named"
absent qvllink.dll qvlpanel.exe >/dev/null || fail "files were copied from an incomplete folder"
expect 1 "nothing registered after a refused install" probe listed

echo "--- install with the test monitor"
expect 0 "install" inst install --from "$probe_from"
says 'registered the monitor "QVL Language Monitor" (qvllink.dll) with the spooler' "install says so"
present $products >/dev/null || fail "files in the system directory: $(present $products)"
expect 0 "EnumMonitorsW lists the monitor" probe listed
echo "Wine's spooler: $(cat "$out")"
echo "in qvlinst install: $(tr '\n' ';' <"$log")"
grep -q "init cbSize=" "$log" || fail "InitializePrintMonitor2 was not called: $(cat "$log")"
[[ "$(signin_value)" == *"REG_SZ    $signin"* ]] || fail "sign-in start: '$(signin_value)'"
expect 0 "status when installed" inst status
says "state            installed" "status says installed"
says "sign-in start    $signin" "status shows the sign-in start"

echo "--- a network port's printer address"
ports_key="$monitor_key\\Ports"
expect 0 "ipp-uri set" inst ipp-uri IP_10.0.0.7 ipps://10.0.0.7/ipp/print
expect 0 "ipp-uri shown" inst ipp-uri IP_10.0.0.7
says "IP_10.0.0.7: ipps://10.0.0.7/ipp/print" "the address is shown"
"$QVL_WINE" reg query "$ports_key" /v IP_10.0.0.7 2>/dev/null | tr -d '\r' |
  grep -q "REG_SZ    ipps://10.0.0.7/ipp/print" || fail "the address is not under $ports_key"
expect 2 "ipp-uri with something else than an address" inst ipp-uri IP_10.0.0.7 lpd://10.0.0.7/q
says "is not a printer address" "a bad address is named"
expect 0 "ipp-uri back to the default" inst ipp-uri IP_10.0.0.7 --default
expect 0 "ipp-uri shown again" inst ipp-uri IP_10.0.0.7
says "its own address" "the default is shown"
expect 0 "ipp-uri set again, for uninstall" inst ipp-uri IP_10.0.0.8 ipp://10.0.0.8/ipp/print

echo "--- installed twice"
expect 5 "install again" inst install --from "$probe_from"
says "is installed already" "install says installed already"
says 'to reinstall, run "qvlinst uninstall"' "install says how to reinstall"
expect 13 "a client install over the full install" inst install --client --from "$probe_from"
says "the full install has everything a client install would add" "install --client says why not"

echo "--- the spooler lets the monitor go (Shutdown)"
rm -f "$log"
expect 0 "EnumPortsW" probe ports
pid=$(grep -o '^pid=[0-9]*' "$log" | head -1)
echo "in spooler_probe ports: $(tr '\n' ';' <"$log")"
for event in attach "init cbSize=" "shutdown handle=ours" detach; do
  grep -q "^$pid $event" "$log" || fail "no '$event' in the process that asked: $(cat "$log")"
done
[ "$(grep -c '' "$log")" = 4 ] || fail "one process, four events: $(cat "$log")"

echo "--- uninstall, and uninstalled twice"
rm -f "$log"
expect 0 "uninstall" inst uninstall
says 'removed the monitor "QVL Language Monitor" from the spooler' "uninstall says so"
"$QVL_WINE" reg query "$monitor_key\\Ports" >/dev/null 2>&1 && fail "the port addresses stayed"
expect 1 "the monitor is no longer listed" probe listed
absent $products >/dev/null || fail "files left: $(absent $products)"
[ -z "$(signin_value)" ] || fail "sign-in start left: $(signin_value)"
expect 6 "uninstall again" inst uninstall
says "is not installed" "uninstall says not installed"

echo "--- the client install (a machine that prints to a print server)"
client_files="qvlpanel.exe qvl3470 qvl3820"
expect 0 "install --client" inst install --client --from "$probe_from"
says "client installed" "install --client says so"
present $client_files >/dev/null || fail "client install: $(present $client_files)"
absent qvllink.dll >/dev/null || fail "the client install copied the monitor"
[[ "$(signin_value)" == *"REG_SZ    $signin"* ]] || fail "client sign-in start: '$(signin_value)'"
"$QVL_WINE" reg query "$monitor_key" >/dev/null 2>&1 && fail "the client install wrote $monitor_key"
expect 1 "the client install registers no monitor" probe listed
expect 0 "status of the client install" inst status
says "state            client installed" "status tells the client install apart"
says "sign-in start    $signin" "status shows the client's sign-in start"
expect 5 "install --client twice" inst install --from "$probe_from" --client
says "the client install is here already" "install --client says installed already"
expect 13 "the full install over the client install" inst install --from "$probe_from"
says "this machine has the client install" "install says why not"
absent qvllink.dll >/dev/null || fail "the refused full install copied the monitor"
rm "$sys/qvlpanel.exe"
expect 1 "status of the client install without its program" inst status
says "state            partly installed (client install)" "status says partly installed"
expect 0 "uninstall the client install" inst uninstall
says "uninstalled the client install" "uninstall says what it removed"
absent $products >/dev/null || fail "files left by the client uninstall: $(absent $products)"
[ -z "$(signin_value)" ] || fail "the client's sign-in start left: $(signin_value)"
expect 6 "uninstall after the client install" inst uninstall

echo "--- a file in use"
echo leftover >"$sys/qvlpanel.exe"
hold qvlpanel.exe 4000
expect 4 "install over a file in use" inst install --from "$probe_from"
says "C:\\windows\\system32\\qvlpanel.exe is in use" "the file in use is named"
wait "$hold_pid"
absent qvllink.dll >/dev/null || fail "qvllink.dll stays after a failed install"
expect 1 "nothing registered after a failed install" probe listed
rm -f "$sys/qvlpanel.exe"
expect 0 "install" inst install --from "$probe_from"
hold qvlpanel.exe 10000  # uninstall stops the spooler first: slow under load
expect 10 "uninstall with a file in use" inst uninstall
says "qvlpanel.exe is in use: it will be removed when Windows restarts" "removal at restart"
wait "$hold_pid"
"$QVL_WINE" reg query "$pending_key" /v PendingFileRenameOperations >"$out" 2>&1
says 'C:\windows\system32\qvlpanel.exe' "qvlpanel.exe scheduled with MoveFileExW"
expect 1 "the monitor is gone all the same" probe listed
# The restart would delete a new qvlpanel.exe by name: no install until then.
expect 12 "install while a removal at restart is pending" inst install --from "$probe_from"
says "removed when Windows restarts: qvlpanel.exe" "the pending file is named"
says "restart Windows, then run" "the advice"
absent qvllink.dll >/dev/null || fail "install copied files while a removal was pending"
expect 1 "nothing registered while a removal was pending" probe listed
clean

echo "--- access denied"
mkdir "$sys/qvlpanel.exe"  # a folder in the way: CopyFileA answers ERROR_ACCESS_DENIED
expect 3 "install where a file cannot be written" inst install --from "$probe_from"
says 'qvlpanel.exe failed: Access denied (error 5)' "the call and the error text are named"
says "an administrator is needed" "the advice"
expect 1 "nothing registered after access denied" probe listed
clean

if [ -n "$other_qvlinst" ]; then
  echo "--- the 32-bit build on 64-bit Windows"
  if [ -f "$other_qvlinst" ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    cp "$other_qvlinst" "$work/bin/qvlinst32.exe"
    expect 8 "32-bit install refused" "$QVL_WINE" "$work/bin/qvlinst32.exe" install --from "$probe_from"
    says "this is the 32-bit (i686) build, and this Windows runs on 64-bit x64" "why"
    expect 8 "32-bit status refused" "$QVL_WINE" "$work/bin/qvlinst32.exe" status
    absent qvllink.dll >/dev/null || fail "the 32-bit build copied files"
  else
    echo "NOT RUN: no i686 build at $other_qvlinst, or no 32-bit programs on this machine"
  fi
fi

if [ "$QVL_WINE" = wine ] && [ "${WINEARCH:-}" = win32 ]; then
  echo "--- the Windows 95 generation (Wine reporting Windows 98 to qvlinst)"
  "$QVL_WINE" reg add 'HKCU\Software\Wine\AppDefaults\qvlinst.exe' /v Version /d win98 /f >/dev/null 2>&1
  expect 0 "install as on Windows 98" inst install --from "$probe_from"
  [ -z "$(signin_value)" ] || fail "a sign-in start on Windows 98: $(signin_value)"
  "$QVL_WINE" reg query "$monitor_key" /v Driver >"$out" 2>&1
  says "qvllink.dll" "the monitor's key names the DLL"
  expect 0 "status on Windows 98" inst status
  says "Windows 4.0" "the Windows 95 generation's environment"
  expect 8 "no network port addresses on Windows 98" inst ipp-uri IP_1 ipp://10.0.0.1/ipp/print
  says "NT-family Windows only" "ipp-uri says why not"
  expect 8 "no client install on Windows 98" inst install --client --from "$probe_from"
  says "client install is for NT-family Windows only" "install --client says why not"
  expect 0 "uninstall on Windows 98" inst uninstall
  expect 1 "not listed after uninstall" probe listed
  clean
fi

echo "--- the real qvllink.dll"
if probe exports "$(winpath "$real_dir/qvllink.dll")" InitializePrintMonitor2 >"$out" 2>&1; then
  expect 0 "install from the build folder" inst install --from "$real_from"
  expect 0 "EnumMonitorsW lists it" probe listed
  expect 0 "status" inst status
  # The MONITORREG callbacks of Wine 8 answer ERROR_CALL_NOT_IMPLEMENTED: the monitor keeps its
  # defaults and hands out its table all the same.
  WINEDEBUG=+loaddll,+localspl "$QVL_WINE" "$spooler_probe" ports >"$out" 2>&1
  says 'Loaded L"C:\\windows\\system32\\qvllink.dll"' "Wine's spooler loads the installed DLL"
  says 'MONITOR2 from L"qvllink.dll",InitializePrintMonitor2' "and gets its table"
  grep -q 'monitor_unload.*L"QVL Language Monitor"' "$out" || fail "the spooler did not let it go"
  says 'Unloaded module L"C:\\windows\\system32\\qvllink.dll"' "and unloads it"
  grep -E 'loaddll.*qvllink|MONITOR2 from|monitor_unload.*QVL' "$out" | sed 's/^/    /'
  expect 0 "uninstall" inst uninstall
  expect 1 "not listed after uninstall" probe listed
  absent $products >/dev/null || fail "files left: $(absent $products)"
elif [ "$real_needed" = yes ]; then
  fail "the real qvllink.dll has no InitializePrintMonitor2: $(cat "$out")"
else
  echo "NOT RUN: $(cat "$out") (the monitor's NT entry has not landed)"
fi

echo "installer: $failures failed"
[ "$failures" = 0 ]

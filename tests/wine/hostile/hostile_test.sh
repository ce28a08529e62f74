#!/usr/bin/env bash
# One hostile scenario against qvlpanel under Wine (see hostile_driver.cpp).
#   hostile_test.sh QVLPANEL_EXE DRIVER_EXE SCENARIO [ARGS...]
# Needs the environment of scripts/wine-env (QVL_WINE, QVL_SYSDIR, WINEPREFIX, DISPLAY).
set -u
panel=$1 driver=$2
shift 2
if [ -z "${QVL_WINE:-}" ] || [ -z "${QVL_SYSDIR:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "SKIP: run under scripts/wine-env (QVL_WINE, QVL_SYSDIR, DISPLAY)"
  exit 77
fi
cp "$panel" "$QVL_SYSDIR/qvlpanel.exe" || exit 1
# The driver starts qvlpanel from the system directory, ends it and checks how it ended; it
# also points the prefix's crash debugger at nothing, so a crash ends the process at once.
WINEDEBUG=-all "$QVL_WINE" "$driver" "$@" </dev/null

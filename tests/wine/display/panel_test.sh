#!/usr/bin/env bash
# qvlpanel end to end under Wine and Xvfb, with display_driver.exe in the monitor's place.
#   panel_test.sh QVLPANEL_EXE DRIVER_EXE STATUS_FILE SCREENSHOT_DIR WINSPOOL_DRV
# Needs the environment of scripts/wine-env (QVL_WINE, QVL_SYSDIR, WINEPREFIX, DISPLAY).
set -u
panel=$1 driver=$2 statusfile=$3 shots=$4 winspool=$5
if [ -z "${QVL_WINE:-}" ] || [ -z "${QVL_SYSDIR:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "SKIP: run under scripts/wine-env (QVL_WINE, QVL_SYSDIR, DISPLAY)"
  exit 77
fi
model=9901
printer="Laser 5"
status="$printer - Status Display"
recovery="$status - Recovery"
prompt_text='This operation resets the internal counter for your printer'"'"'s Process Unit.\nClick OK only if you are installing a new Process Unit.'

mkdir -p "$shots"
work=$(mktemp -d)
cp "$panel" "$QVL_SYSDIR/qvlpanel.exe"
cp "$statusfile" "$QVL_SYSDIR/qvl$model"

failures=0
D() { "$QVL_WINE" "$driver" "$@"; }
check() {
  local what=$1
  shift
  if [ "$1" = env ]; then
    "$@" || { echo "FAIL: $what"; failures=$((failures + 1)); }
    return
  fi
  if ! D "$@"; then
    echo "FAIL: $what"
    failures=$((failures + 1))
  fi
}
shot() {
  sleep 0.3  # let the dialog finish painting
  xwd -root -silent | convert xwd:- "$shots/$1" && echo "screenshot: $shots/$1"
}
hold_pid=
start_hold() {
  D hold "$1" 200 >"$work/hold.out" &
  hold_pid=$!
  for _ in $(seq 100); do grep -q ready "$work/hold.out" 2>/dev/null && return 0; sleep 0.05; done
  echo "FAIL: the shared objects were not created"
  failures=$((failures + 1))
}
stop_hold() {
  D stop
  [ -n "$hold_pid" ] && wait "$hold_pid"
  hold_pid=
}
end_program() {
  D destroy >/dev/null 2>&1
  D running no >/dev/null || echo "warning: qvlpanel.exe still running"
}
finish() {
  end_program
  stop_hold
  rm -rf "$work"
}
trap finish EXIT

end_program  # nothing left over from an earlier run
start_hold "$printer"

echo "--- status and recovery dialogs"
check "program starts hidden" launch
check "41234 posted" post 41234 $model
check "41234 opens the status dialog" window "$status" present
check "the status dialog shows the 41000 entry" text "$status" 1202 'Paper out in the feeder.\r\n'
check "the recovery button is there" text "$status" 201 '&Recovery >>'
check "the status dialog is centred" centred "$status"
shot status.png
check "Recovery >> pressed" click "$status" 201
check "the recovery dialog opens" window "$recovery" present
check "the status dialog is gone" window "$status" absent
check "the recovery dialog shows the recovery text" text "$recovery" 1201 \
  'Load paper into the feeder and press PRINT/RESET.\r\n'
check "the recovery dialog shows the status text" text "$recovery" 1202 'Paper out in the feeder.\r\n'
check "the recovery dialog draws the picture" picture "$recovery" yes
shot recovery.png
check "40022 refreshes the open dialog" post 40022 $model
check "refreshed status text" text "$recovery" 1202 'Warming up.\r\n'
check "icon index 0 has no picture" picture "$recovery" no
shot recovery-nopicture.png
check "OK pressed" click "$recovery" 200
check "OK ends the program" running no

echo "--- drum counter reset prompt"
check "program starts" launch
check "40558 posted" post 40558 $model
check "the drum code's dialog opens" text "$status" 1202 'Replace the process unit.\r\n'
wid=$(xdotool search --name "^$status\$" | head -n 1)
if [ -n "$wid" ]; then
  xdotool windowfocus --sync "$wid" 2>/dev/null
  xdotool key --clearmodifiers ctrl+shift+F1
else
  echo "FAIL: no X window for \"$status\""
  failures=$((failures + 1))
fi
check "Ctrl+Shift+F1 raises the prompt" window "WARNING!" present
check "the prompt's text" text "WARNING!" 65535 "$prompt_text"
check "the event is not set before the answer" event clear
shot prompt.png
check "OK in the prompt" click "WARNING!" 1
check "OK sets the drum reset event" event set
check "the drum code's dialog closes" window "$status" absent
check "the program keeps running" running yes

echo "--- a prompt request lost with its dialog"
check "41000 posted" post 41000 $model
check "the dialog opens" window "$status" present
check "another printer's name" setname Office
check "the hot key, and a code for the other printer behind it" hotkey "$status" 40022 $model
check "the first printer's dialog closes before its prompt" window "$status" absent
check "the other printer's dialog opens" window "Office - Status Display" present
check "its hot key raises the prompt" hotkey "Office - Status Display"
check "the prompt is up" window "WARNING!" present
check "Cancel in the prompt" click "WARNING!" 2
check "the prompt is gone" window "WARNING!" absent
check "the name back" setname "$printer"

echo "--- WM_DESTROY with a dialog open"
check "41000 posted" post 41000 $model
check "the dialog opens" window "$status" present
check "WM_DESTROY posted" destroy
check "WM_DESTROY ends the program" running no

echo "--- 10001 ends the program"
check "program starts" launch
check "40021 posted" post 40021 $model
check "the dialog opens" text "$status" 1202 'Front cover open.\r\n'
check "10001 posted" post 10001 $model
check "10001 ends the program" running no

echo "--- a code for another printer"
check "program starts" launch
check "40021 posted" post 40021 $model
check "the dialog opens" window "$status" present
check "another printer's name" setname Office
check "40022 posted" post 40022 $model
check "the first printer's dialog closes" window "$status" absent
check "the other printer's dialog opens" text "Office - Status Display" 1202 'Warming up.\r\n'
check "a name filling the block" setname x --fill
check "41000 posted" post 41000 $model
check "a 48-character name, cut at the block's end" \
  window "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW - Status Display" present
check "WM_DESTROY posted" destroy
check "the program ends" running no

echo "--- no shared printer name"
stop_hold
check "program starts" launch
check "41000 posted" post 41000 $model
check "fallback status title" text "Status Display" 1202 'Paper out in the feeder.\r\n'
check "Recovery >> pressed" click "Status Display" 201
check "fallback recovery title" window "Status Display - Recovery" present

# The NT display link: a printer name outside the system's code page, shown exactly in the
# title; a paper code naming its tray and size, from a status file text in windows-1252. The
# second run has Wine's UTF-8 code page (65001): a locale with no other code page. The printer
# is served by the driver from the spooler stand-in's store; the sign-in program reads it
# through our winspool.drv beside it.
cp "$winspool" "$QVL_SYSDIR/winspool.drv"
board_pid=
start_board() {
  D publish 'B\u00fcro \u03a9' 41104 $model 200 >"$work/board.out" &
  board_pid=$!
  for _ in $(seq 100); do grep -q ready "$work/board.out" 2>/dev/null && return 0; sleep 0.05; done
  echo "FAIL: the printer was not served: $(cat "$work/board.out")"
  failures=$((failures + 1))
}
unicode_title='B\u00fcro \u03a9 - Status Display'
paper_text='Paper out: load A4 paper into tray 1 \u201cB\u00fcro\u201d.\r\n'
for locale in "" hi_IN.UTF-8; do
  if [ -n "$locale" ] && ! locale -a 2>/dev/null | grep -qix "${locale/UTF-8/utf8}"; then
    echo "FAIL: no locale $locale (scripts/install-deps generates it)"
    failures=$((failures + 1))
    continue
  fi
  echo "--- a printer name outside the code page, a paper code's tray and size${locale:+ ($locale)}"
  end_program
  start_board
  # The program started from a driver with that locale has its code page.
  if [ -n "$locale" ]; then
    check "code page 65001 under $locale" env LC_ALL="$locale" "$QVL_WINE" "$driver" codepage 65001
    check "program starts" env LC_ALL="$locale" WINEDLLOVERRIDES=winspool.drv=n "$QVL_WINE" \
      "$driver" launch-signin
  else
    check "program starts" env WINEDLLOVERRIDES=winspool.drv=n "$QVL_WINE" "$driver" launch-signin
  fi
  # A look for printers every 5 s: the driver's waits are 5 s each.
  D window "$unicode_title" present >/dev/null || true
  check "the title holds the name exactly" window "$unicode_title" present
  check "41104 names tray 1 and size A4" text "$unicode_title" 1202 "$paper_text"
  [ -z "$locale" ] && shot unicode.png
  check "WM_DESTROY posted" destroy signin
  check "the program ends" running no
  D stop
  wait "$board_pid"
done

[ "$failures" = 0 ] && echo "all qvlpanel checks passed"
exit $((failures != 0))

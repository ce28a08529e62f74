#!/usr/bin/env bash
# qvltool lookup and lint on small status message files: exact output and exit status.
#   qvltool_test.sh QVLTOOL FILES_DIR
set -u
qvltool=$1
files=$2
failures=0

# expect NAME STATUS EXPECTED_OUTPUT -- COMMAND...
expect() {
  local name=$1 status=$2 expected=$3
  shift 4
  local output rc
  output=$("$@" 2>/dev/null)
  rc=$?
  if [ "$rc" != "$status" ] || [ "$output" != "$expected" ]; then
    echo "FAIL $name: exit $rc (expected $status)"
    echo "--- got"; echo "$output"; echo "--- expected"; echo "$expected"
    failures=$((failures + 1))
  fi
}

expect "lookup joins a backslash line and escapes quotes" 0 \
  '{"found":true,"code":41000,"record":41000,"group":1,"iconId":6004,"codePage":1252,"statusText":"Paper out\r\n","recoveryText":"Load \"A4\" paper into the feeder.\r\n"}' \
  -- "$qvltool" lookup "$files/clean" 41000
expect "lookup of 41104 answers with the 41000 record, as the program shows it" 0 \
  '{"found":true,"code":41104,"record":41000,"group":1,"iconId":6004,"codePage":1252,"statusText":"Paper out\r\n","recoveryText":"Load \"A4\" paper into the feeder.\r\n"}' \
  -- "$qvltool" lookup "$files/clean" 41104
expect "lookup reads lower-case tags" 0 \
  '{"found":true,"code":10001,"record":10001,"group":0,"iconId":6503,"codePage":1252,"statusText":"Ready\r\n","recoveryText":"\r\n"}' \
  -- "$qvltool" lookup "$files/clean" 10001
expect "lookup of an absent code" 0 '{"found":false,"code":40021,"record":40021}' \
  -- "$qvltool" lookup "$files/clean" 40021
expect "lookup of a code the program never shows" 0 '{"found":false,"code":50555,"ignored":true}' \
  -- "$qvltool" lookup "$files/clean" 50555
expect "lookup of a record running into the end" 0 '{"found":false,"code":40025,"record":40025}' \
  -- "$qvltool" lookup "$files/problems" 40025
expect "lookup after a spaced code" 0 '{"found":false,"code":40024,"record":40024}' \
  -- "$qvltool" lookup "$files/problems" 40024
expect "lookup: icon outside the table gives no icon" 0 \
  '{"found":true,"code":40021,"record":40021,"group":1,"iconId":0,"codePage":1252,"statusText":"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n","recoveryText":"Close the cover.\r\n <CODE>\t40022\r\n"}' \
  -- "$qvltool" lookup "$files/problems" 40021
expect "lookup of a paper code names its tray and size from the file's head" 0 \
  '{"found":true,"code":41104,"record":41000,"group":1,"iconId":6004,"codePage":1252,"statusText":"Paper out: load A4 paper into tray 1 \u201cB\u00fcro\u201d.\r\n","recoveryText":"Load paper into the feeder and press PRINT/RESET.\r\n"}' \
  -- "$qvltool" lookup "$files/../../../wine/display/qvl9901" 41104
expect "lookup in a file with LF line ends joins without a backslash" 0 \
  '{"found":true,"code":41000,"record":41000,"group":1,"iconId":6004,"codePage":1252,"statusText":"Paper out in the feeder\n","recoveryText":"Load paper.\n"}' \
  -- "$qvltool" lookup "$files/lf" 41000
expect "lookup in a file that is no status message file fails" 1 '' \
  -- "$qvltool" lookup "${BASH_SOURCE[0]}" 41000
expect "lookup of a missing file fails as lint does" 2 '' -- "$qvltool" lookup "$files/none" 41000
expect "lookup with a bad code" 2 '' -- "$qvltool" lookup "$files/clean" 41000x
expect "lookup without a code" 2 '' -- "$qvltool" lookup "$files/clean"

expect "lint of a clean file" 0 '' -- "$qvltool" lint "$files/clean"
p="$files/problems"
expect "lint of a file with problems" 1 "$p:1: <CPAG> value is not a code page number
$p:3: <TRAY> needs a tray number 1 to 9 and a name
$p:5: 'A4' is not a PWG media name (class_name_WxHmm or in)
$p:6: code 41500 is shown with the record of 41000: this record is never read
$p:11: <CPAG> after the first record: read as text, not as the file's head
$p:13: <GROP> value is not a plain number: reads as 0
$p:12: code 40556 is held back until the user answers: group 0 never shows it
$p:17: code 60000 is never shown: the program shows codes 10001 to 50554 only
$p:17: code 60000 has no status text: its dialog would be empty
$p:17: recovery text of code 60000 needs about 10 lines: the dialog shows 9
$p:33: icon number 12 is outside the icon table (0 to 11): no icon and no picture
$p:35: status text line dropped: the text would pass 79 bytes
$p:37: tag after leading blanks: read as a text line
$p:38: duplicate code 40021: only the record at line 31 is found
$p:46: <RCVR> where <STAT> was expected: read as a number
$p:49: <CODE> and its number are separated by a space: reads as 0 and ends the search
$p:54: code 40025 and the records after it are never found: the search ends at line 49
$p:58: line longer than 254 bytes: read as several lines
$p:2: <PAPR> text with the longest names is 88 bytes: past 79 the 41000 record's text is shown
$p:54: record of code 40025 runs into the end of the file: it is never found (end the file with a <CODE> 0 line)" \
  -- "$qvltool" lint "$p"
expect "lint of a file with LF line ends" 1 "$files/lf:1: line ends in LF alone (6 such lines): every line ends in CR LF
$files/lf:7: the last line has no line end: every line ends in CR LF" -- "$qvltool" lint "$files/lf"
expect "lint of an empty file" 1 "$files/empty:1: the end line <CODE> 0 is missing: every file ends with it" \
  -- "$qvltool" lint "$files/empty"
expect "lint of a missing file" 2 '' -- "$qvltool" lint "$files/none"
expect "lint without a file" 2 '' -- "$qvltool" lint

[ "$failures" = 0 ] && echo "all qvltool lookup/lint checks passed"
exit $((failures != 0))

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
  '{"found":true,"code":41000,"group":1,"iconId":6004,"statusText":"Paper out\r\n","recoveryText":"Load \"A4\" paper into the feeder.\r\n"}' \
  -- "$qvltool" lookup "$files/clean" 41000
expect "lookup reads lower-case tags" 0 \
  '{"found":true,"code":10001,"group":0,"iconId":6503,"statusText":"Ready\r\n","recoveryText":"\r\n"}' \
  -- "$qvltool" lookup "$files/clean" 10001
expect "lookup of an absent code" 0 '{"found":false}' -- "$qvltool" lookup "$files/clean" 41001
expect "lookup of a record running into the end" 0 '{"found":false}' \
  -- "$qvltool" lookup "$files/problems" 40025
expect "lookup after a spaced code" 0 '{"found":false}' -- "$qvltool" lookup "$files/problems" 40024
expect "lookup: icon outside the table gives no icon" 0 \
  '{"found":true,"code":40021,"group":1,"iconId":0,"statusText":"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n","recoveryText":"Close the cover.\r\n <CODE>\t40022\r\n"}' \
  -- "$qvltool" lookup "$files/problems" 40021
expect "lookup of a missing file fails" 1 '' -- "$qvltool" lookup "$files/none" 41000
expect "lookup with a bad code" 2 '' -- "$qvltool" lookup "$files/clean" 41000x
expect "lookup without a code" 2 '' -- "$qvltool" lookup "$files/clean"

expect "lint of a clean file" 0 '' -- "$qvltool" lint "$files/clean"
p="$files/problems"
expect "lint of a file with problems" 1 "$p:3: icon number 12 is outside the icon table (0 to 11): no icon and no picture
$p:5: status text line dropped: the text would pass 79 bytes
$p:7: tag after leading blanks: read as a text line
$p:8: duplicate code 40021: only the record at line 1 is found
$p:16: <RCVR> where <STAT> was expected: read as a number
$p:19: <CODE> and its number are separated by a space: reads as 0 and ends the search
$p:24: code 40025 and the records after it are never found: the search ends at line 19
$p:28: line longer than 254 bytes: read as several lines
$p:24: record of code 40025 runs into the end of the file: it is never found (end the file with a <CODE> 0 line)" \
  -- "$qvltool" lint "$p"
expect "lint of a missing file" 2 '' -- "$qvltool" lint "$files/none"
expect "lint without a file" 2 '' -- "$qvltool" lint

[ "$failures" = 0 ] && echo "all qvltool lookup/lint checks passed"
exit $((failures != 0))

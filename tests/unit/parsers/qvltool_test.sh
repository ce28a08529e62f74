#!/bin/sh
# qvltool parse and deviceid: the exact lines printed for known inputs, and the exit statuses
# of bad arguments. Usage: qvltool_test.sh PATH-TO-QVLTOOL
tool="$1"
failures=0
passes=0

# check NAME EXPECTED ACTUAL
check() {
  if [ "$2" = "$3" ]; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$2" "$3"
  fi
}

# parse_case NAME 'printf format of the input' EXPECTED ARGS...
parse_case() {
  name="$1" input="$2" expected="$3"
  shift 3
  actual=$(printf "$input" | "$tool" parse "$@")
  check "$name" "$expected" "$actual"
}

parse_case "pjl device status" '@PJL USTATUS DEVICE\r\nCODE=10001\r\nDISPLAY=00 READY\r\nONLINE=TRUE\r\n\f' \
'{"at":0,"result":"PARSE_DONE","stop":65,"count":3,"tokens":[["TOK_DEVICE_CODE",10001],["TOK_DEVICE_DISPLAY",41],["TOK_DEVICE_ONLINE",1]]}' \
  pjl

parse_case "pjl walks through the text" '@PJL ECHO MSSYNC 7\r\n\f@PJL INFO MEMORY\r\nTOTAL=1\r\nX\f@PJL INFO' \
'{"at":0,"result":"PARSE_DONE","stop":21,"count":1,"tokens":[["TOK_ECHO_SYNC",7]]}
{"at":21,"result":"PARSE_BAD","stop":48,"count":1,"tokens":[["TOK_MEM_TOTAL",1]]}
{"at":48,"result":"PARSE_NO_PJL","stop":50,"count":0,"tokens":[]}
{"at":50,"result":"PARSE_MORE","stop":59,"count":0,"tokens":[]}' \
  pjl

parse_case "pjl max tokens" '@PJL USTATUS JOB\r\nEND\r\nNAME="MSJOB 17"\r\n\f' \
'{"at":0,"result":"PARSE_FULL","stop":23,"count":0,"tokens":[]}
{"at":23,"result":"PARSE_NO_PJL","stop":41,"count":0,"tokens":[]}' \
  pjl --max-tokens 0

parse_case "input ends at the first NUL" '@PJL ECHO MSSYNC 7\r\n\f\000@PJL ECHO MSSYNC 8\r\n\f' \
'{"at":0,"result":"PARSE_DONE","stop":21,"count":1,"tokens":[["TOK_ECHO_SYNC",7]]}' \
  pjl

parse_case "plain complete then incomplete" 'CODE=41003\fREADY\fTOTAL=2097152\fCODE=4' \
'{"at":0,"result":"PARSE_DONE","stop":31,"count":2,"tokens":[["TOK_DEVICE_CODE",41003],["TOK_MEM_TOTAL",2097152]]}
{"at":31,"result":"PARSE_MORE","stop":31,"count":0,"tokens":[]}' \
  plain

parse_case "plain trailing reply without item" 'CODE=10001\fREADY\f' \
'{"at":0,"result":"PARSE_DONE","stop":11,"count":1,"tokens":[["TOK_DEVICE_CODE",10001]]}
{"at":11,"result":"PARSE_BAD","stop":17,"count":0,"tokens":[]}' \
  plain

parse_case "empty input" '' \
'{"at":0,"result":"PARSE_MORE","stop":0,"count":0,"tokens":[]}' \
  plain

# deviceid: one port record for all texts.
actual=$("$tool" deviceid 'MFG:Zemblaxon;MDL:QV-L3820;CMD:PJL;' 'MDL:Other;' 'MDL:QV-L12345678;')
check "deviceid sequence" \
'{"result":1,"flags":["PF_MODEL_3820","PF_FAMILY_MODEL","PF_FAMILY_MAKER"],"model":3820}
{"result":1,"flags":["PF_FAMILY_MAKER"],"model":3820}
{"result":1,"flags":["PF_FAMILY_MODEL","PF_FAMILY_MAKER"],"model":123456}' "$actual"

actual=$("$tool" deviceid 'CLS:PRINTER;XYZ;MDL:QV-L3820;')
check "deviceid hidden model" '{"result":0,"flags":[],"model":0}' "$actual"

# Bad arguments: a message on stderr and exit status 2; --help: usage and 0.
status_case() {
  name="$1" expected="$2"
  shift 2
  "$tool" "$@" </dev/null >/dev/null 2>&1
  check "$name" "$expected" "$?"
}
status_case "parse without parser" 2 parse
status_case "parse unknown parser" 2 parse xml
status_case "parse two parsers" 2 parse pjl plain
status_case "parse max tokens missing" 2 parse pjl --max-tokens
status_case "parse max tokens not a number" 2 parse pjl --max-tokens 2x
status_case "parse max tokens too large" 2 parse pjl --max-tokens 99999
status_case "parse help" 0 parse --help
status_case "deviceid without text" 2 deviceid
status_case "deviceid help" 0 deviceid --help

message=$("$tool" parse xml 2>&1 >/dev/null | head -n 1)
check "parse error message" "qvltool parse: unknown parser or option (expected pjl or plain)" "$message"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]

#!/usr/bin/env python3
"""Check the status message files before they ship.

    python3 statusfiles/check_status_files.py            # check qvl3820 and qvl3470
    python3 statusfiles/check_status_files.py FILE ...   # check other files
    python3 statusfiles/check_status_files.py --self-test

Two views of each file are compared:

* a strict reading of the intended layout (every record complete, tags in
  order, a TAB after each tag, the end line present), which reports the
  line of any mistake; and
* a byte-for-byte imitation of qvlpanel's reader (255-byte line pieces,
  comment and empty-line skipping, backslash joining, the tag state
  machine and the 80/512-byte text limits), which looks every code up the
  way the program does.

A record passes only when both agree: the program finds it, and finds all
of its text (no line silently dropped at a limit).  The script also checks
that the texts fit their dialog controls, that each icon index has an icon
(and picture) in display/resources/art, and that the intended codes are all
present.  Exit status 0 when every file passes.
"""

import os
import sys
import textwrap

HERE = os.path.dirname(os.path.abspath(__file__))
ART = os.path.join(HERE, "..", "display", "resources", "art")

ICON_TABLE = [6503, 6504, 6003, 6506, 6001, 6006, 6000, 6002, 6008, 6004, 6005, 6007]
TAGS = ["<GROP>", "<ICON>", "<STAT>", "<RCVR>", "<CODE>"]   # looked up by state
STATUS_MAX = 79
RECOVERY_MAX = 511

# Codes each shipped file must hold.
COMMON = [10001, 10003, 40000, 30016, 30017, 40021, 40022, 40023, 40024,
          41000, 40556, 40558, 40559, 50000, 50001, 50002, 50003, 50004, 50005]
INTENDED = {"qvl3820": COMMON, "qvl3470": COMMON}

# Rough capacity of the dialog controls in average characters of 8 point
# Helv: status text 156x16 dialog units, recovery text 170x75.
STATUS_FIT = (37, 2)
RECOVERY_FIT = (40, 9)


# ---------------------------------------------------------------------------
# Imitation of the program's reader.

def read_file_line(data, pos):
    """Next raw line from pos: (line bytes, new pos) or (None, pos) at the end."""
    chunk = data[pos:pos + 255]
    if not chunk:
        return None, pos
    i = chunk.find(b"\n")
    if i < 0:
        return chunk, pos + len(chunk)
    if i <= 1:
        line = b""
    elif chunk[i - 2:i - 1] == b"\\":
        line = chunk[:i - 2]
    else:
        line = chunk[:i + 1]
    return line, pos + i + 1


def read_tagged_line(data, pos, tag):
    while True:
        line, pos = read_file_line(data, pos)
        if line is None:
            return "end", b"", pos
        if line and not line.startswith(b"#"):
            break
    if line[:6].lower() == tag.lower().encode():
        kind, rest = "tag", line[6:]
    else:
        kind, rest = "text", line
    return kind, rest.lstrip(b"\t"), pos


def parse_decimal(value):
    n = 0
    for b in value:
        if not 48 <= b <= 57 or n > 99999:
            break
        n = n * 10 + (b - 48)
    return n


def search(data, code, previous):
    """One pass of the program's search.  Returns (result, entry)."""
    entry = dict(previous, status=b"", recovery=b"")
    state, found, pos = 4, False, 0
    while True:
        kind, value, pos = read_tagged_line(data, pos, TAGS[state])
        if kind == "end":
            return 1, None
        if kind == "tag":
            state = (state + 1) % 5
        if not found:
            if state == 0:
                n = parse_decimal(value)
                if n == 0:
                    return 1, None
                found = n == code
            continue
        if state == 1:
            entry["group"] = parse_decimal(value)
        elif state == 2:
            entry["icon"] = parse_decimal(value)
        elif state == 3:
            if len(entry["status"]) + len(value) < STATUS_MAX + 1:
                entry["status"] += value
        elif state == 4:
            if len(entry["recovery"]) + len(value) < RECOVERY_MAX + 1:
                entry["recovery"] += value
        else:
            return 2, entry


# ---------------------------------------------------------------------------
# Strict reading of the intended layout.

class Problem(Exception):
    pass


def strict_records(data, errors):
    """Records as the author meant them; layout mistakes go to errors."""
    lines = data.split(b"\n")
    if lines[-1] != b"":
        errors.append("file does not end with CR LF")
    lines = lines[:-1]
    records, cur, field, ended = [], None, None, False
    order = ["<CODE>", "<GROP>", "<ICON>", "<STAT>", "<RCVR>"]
    for no, raw in enumerate(lines, 1):
        where = "line %d" % no
        if not raw.endswith(b"\r"):
            errors.append("%s: line does not end in CR LF" % where)
            continue
        line = raw[:-1]
        if b"\r" in line:
            errors.append("%s: stray CR inside the line" % where)
        if len(raw) > 254:
            errors.append("%s: %d bytes before LF, the reader splits lines at 254" % (where, len(raw)))
        if any(b > 126 or (b < 32 and b != 9) for b in line):
            errors.append("%s: byte outside printable ASCII" % where)
        if not line or line.startswith(b"#"):
            continue
        if ended:
            errors.append("%s: text after the end line <CODE> 0 is never read" % where)
            continue
        tag = line[:6].decode("ascii", "replace")
        if tag.upper() in order:
            if tag != tag.upper():
                errors.append("%s: write the tag %s in capitals" % (where, tag.upper()))
            tag = tag.upper()
            rest = line[6:]
            if not rest.startswith(b"\t"):
                errors.append("%s: a TAB must follow %s (a space reads as 0)" % (where, tag))
            value = rest.lstrip(b"\t")
            expected = order[(order.index(field) + 1) % 5] if field else "<CODE>"
            if tag != expected:
                errors.append("%s: %s where %s was expected" % (where, tag, expected))
                continue
            field = tag
            if tag in ("<CODE>", "<GROP>", "<ICON>"):
                if not value.isdigit():
                    errors.append("%s: %s value %r is not a plain number" % (where, tag, value))
                    value = b"99999999" if tag == "<CODE>" else b"0"
                n = int(value)
                if tag == "<CODE>":
                    if cur:
                        records.append(cur)
                    cur = None
                    if n == 0:
                        ended = True
                        field = None
                        continue
                    cur = {"code": n, "line": no, "status": b"", "recovery": b"",
                           "group": 0, "icon": 0}
                elif cur is not None:
                    cur["group" if tag == "<GROP>" else "icon"] = n
            else:
                key = "status" if tag == "<STAT>" else "recovery"
                if cur is not None:
                    cur[key] += joined(raw, value)
        elif field in ("<STAT>", "<RCVR>") and cur is not None:
            key = "status" if field == "<STAT>" else "recovery"
            cur[key] += joined(raw, line.lstrip(b"\t") + b"\r")
        else:
            errors.append("%s: untagged line outside a text" % where)
    if cur:
        errors.append("record %d (line %d) is not followed by a <CODE> line; "
                      "it can never be found" % (cur["code"], cur["line"]))
    if not ended:
        errors.append("the end line <CODE> 0 is missing")
    return records


def joined(raw, value):
    """Text that a line contributes: with CR LF, or joined by a backslash."""
    value = value.rstrip(b"\r")
    if value.endswith(b"\\"):
        return value[:-1]
    return value + b"\r\n"


def wrapped_lines(text, width):
    count = 0
    for para in text.decode("ascii").split("\r\n"):
        if para == "" :
            continue
        count += len(textwrap.wrap(para, width)) or 1
    return count


# ---------------------------------------------------------------------------

def check_file(path, intended=None):
    errors = []
    with open(path, "rb") as f:
        data = f.read()
    records = strict_records(data, errors)
    seen = {}
    for r in records:
        c = r["code"]
        where = "code %d (line %d)" % (c, r["line"])
        if c in seen:
            errors.append("%s: duplicate of line %d; only the first is found" % (where, seen[c]))
            continue
        seen[c] = r["line"]
        if not 10001 <= c <= 50554:
            errors.append("%s: outside 10001..50554, the program never shows it" % where)
        if 41001 <= c <= 41999:
            errors.append("%s: 41001..41999 are shown with the record of 41000" % where)
        if not 0 <= r.get("icon", -1) < len(ICON_TABLE):
            errors.append("%s: icon index %s outside 0..11" % (where, r.get("icon")))
            continue
        icon = ICON_TABLE[r["icon"]]
        if not os.path.exists(os.path.join(ART, "icon%d.ico" % icon)):
            errors.append("%s: icon%d.ico missing from the art" % (where, icon))
        if icon < 6500 and not os.path.exists(os.path.join(ART, "pict%d.bmp" % (icon + 1000))):
            errors.append("%s: pict%d.bmp missing from the art" % (where, icon + 1000))
        if c in (40556, 40558, 40559) and r["group"] == 0:
            errors.append("%s: a held-back code needs a group other than 0" % where)
        for key, limit, (width, rows) in (("status", STATUS_MAX, STATUS_FIT),
                                          ("recovery", RECOVERY_MAX, RECOVERY_FIT)):
            text = r[key]
            if not text.strip():
                errors.append("%s: empty %s text" % (where, key))
            if len(text) > limit:
                errors.append("%s: %s text is %d bytes, limit %d" % (where, key, len(text), limit))
            n = wrapped_lines(text, width)
            if n > rows:
                errors.append("%s: %s text needs about %d lines, the dialog shows %d"
                              % (where, key, n, rows))
        # The program's own reading must give exactly the same entry.
        previous = {"group": 77, "icon": 77}
        result, entry = search(data, c, previous)
        if result != 2:
            errors.append("%s: the program's reader does not find it" % where)
        elif (entry["group"], entry["icon"], entry["status"], entry["recovery"]) != \
                (r["group"], r["icon"], r["status"], r["recovery"]):
            errors.append("%s: the program reads %r, intended %r" % (
                where, (entry["group"], entry["icon"], entry["status"], entry["recovery"]),
                (r["group"], r["icon"], r["status"], r["recovery"])))
    for c in intended or []:
        if c not in seen:
            errors.append("intended code %d is missing" % c)
    return records, errors


def self_test():
    """The checker must catch the mistakes that break a file silently."""
    good = (b"# x\r\n<CODE>\t40021\r\n<GROP>\t1\r\n<ICON>\t6\r\n<STAT>\tCover open.\r\n"
            b"<RCVR>\t1. Close \\\r\n\tthe cover.\r\n<CODE>\t0\r\n")
    bad = {
        "space after tag": good.replace(b"<CODE>\t40021", b"<CODE> 40021"),
        "no end line": good.replace(b"<CODE>\t0\r\n", b""),
        "bare LF": good.replace(b"Cover open.\r\n", b"Cover open.\n"),
        "icon out of range": good.replace(b"<ICON>\t6", b"<ICON>\t12"),
        "status too long": good.replace(b"Cover open.", b"x" * 70 + b"\r\n\t" + b"y" * 20),
        "folded code": good.replace(b"40021", b"41003"),
        "missing GROP": good.replace(b"<GROP>\t1\r\n", b""),
    }
    import tempfile
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, data in [("good", good)] + sorted(bad.items()):
            path = os.path.join(tmp, "qvl0")
            with open(path, "wb") as f:
                f.write(data)
            records, errors = check_file(path)
            ok = (not errors) if name == "good" else bool(errors)
            if name == "good" and records and records[0]["recovery"] != b"1. Close the cover.\r\n":
                ok = False
            print("%-20s %s%s" % (name, "ok" if ok else "FAILED",
                                  "" if ok else ": %r" % errors))
            failures += not ok
    return 1 if failures else 0


def main(argv):
    if argv == ["--self-test"]:
        return self_test()
    paths = argv or [os.path.join(HERE, n) for n in sorted(INTENDED)]
    status = 0
    for path in paths:
        records, errors = check_file(path, INTENDED.get(os.path.basename(path)))
        print("%s: %d records" % (path, len(records)))
        for r in records:
            print("  %5d  group %d  icon %2d (%d)  %s" % (
                r["code"], r["group"], r["icon"],
                ICON_TABLE[r["icon"]] if 0 <= r["icon"] < 12 else -1,
                r["status"].decode("ascii").replace("\r\n", " ").strip()))
        for e in errors:
            print("  ERROR: " + e)
        status |= bool(errors)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

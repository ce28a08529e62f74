#!/usr/bin/env python3
"""The NT display link end to end under Wine: the real qvllink.dll under qvlspool --nt publishes
to the status board, and qvlpanel.exe started as at sign-in (/signin) shows it.

  session_test.py SPOOLER_DIR QVLPANEL_EXE STATUS_FILE_DIR DISPLAY_DRIVER SESSION_PROBE

1. A sign-in program and one printer: without a board the program ends at once; started while
   the monitor is there it shows a QV-L3820's paper out (a second one started after the code
   shows it too), opens the recovery dialog, closes both when the paper is in and stays; the
   door opened later is shown by the same two programs.
2. A spooler started again while both programs wait: the new monitor's code reaches them, and
   its status thread's end closes their dialogs, the programs staying.
3. Two printers in two monitor processes on one board, each printer's code closing the other's
   dialog: a QV-L3470's drum code (held until OK), a QV-L3820 out of paper, the same code
   from the QV-L3470 (shown for it), the QV-L3820 put right (the QV-L3470's held code is not
   shown for it), the QV-L3820's drum worn out; the board's objects read back with the
   security that shared/session_link.h gives them; the drum prompt confirmed in the QV-L3820's
   dialog makes its port, and only its port, write the drum counter reset command.
Needs the environment of scripts/wine-env (QVL_WINE, QVL_SYSDIR, DISPLAY). Exit 77: skipped.
"""
import json
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "spooler"))
from spool_timeline import (check, failures, finish_spool, kind, set_mode,  # noqa: E402
                            start_spool, statuses)

HERE = os.path.dirname(os.path.abspath(__file__))
OFFICE, HALL = "Office QV-L3820", "Hall QV-L3470"
SESSION_WINDOW = "Status Display for QVL Printers - Session"  # DISPLAY_SESSION_WINDOW_TITLE
LINK_WINDOW = "Status Display for QVL Printers"  # the window the other link's monitor finds
PAPER_OUT_UI, DOOR_OPEN_UI = "0x00100010", "0x00500000"
# 41104 (tray 1, A4) in the words of each model's status file.
PAPER_TEXT = "Paper out: load A4 paper into the paper tray.\\r\\n"
HALL_PAPER_TEXT = "Paper out: load A4 paper into the sheet feeder.\\r\\n"  # the QV-L3470's tray
# 41003 names no tray: the 41000 record's own text.
PAPER_TEXT_NO_TRAY = "Paper out: load paper into the paper tray or the feeder.\\r\\n"
PAPER_RECOVERY = ("1. Load the paper source the job asks for: the paper tray, or the sheet feeder "
                  "at the back.\\r\\n2. Fan the paper, and fill it only up to the mark.\\r\\n"
                  "3. Slide the paper guides against the stack.\\r\\n4. Printing goes on by "
                  "itself.\\r\\n")
DOOR_TEXT = "A cover of the printer is open.\\r\\n"
NEAR_END_TEXT = "The process unit is near the end of its life.\\r\\n"
WORN_TEXT = "The process unit is worn out: replace it.\\r\\n"
QVL3820_RESET = "\x1b\x1b\x00ENG_CMD,0x54;"
STATUS_TEXT, RECOVERY_TEXT, RECOVERY_BUTTON, OK_BUTTON = "1202", "1201", "201", "1"


def status(printer):
    return printer + " - Status Display"


def recovery(printer):
    return status(printer) + " - Recovery"


class Session:
    def __init__(self, spooler_dir, driver, probe):
        self.spooler_dir, self.driver, self.probe = spooler_dir, driver, probe
        self.programs = []
        self.spoolers = []

    def run(self, exe, *args):
        out = subprocess.run([os.environ["QVL_WINE"], exe] + list(args), stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=60)
        text = out.stdout.decode("utf-8", "replace")
        return out.returncode, text

    def expect(self, what, *args, patience=0):
        """A display_driver check (it waits up to 5 s for it to hold; with patience, it is
        asked again until that many seconds have passed)."""
        until = time.time() + patience
        while True:
            code, text = self.run(self.driver, *args)
            if code == 0 or time.time() >= until:
                break
        check(code == 0, what, text.strip() or None)

    def sign_in(self):
        """qvlpanel.exe from the system directory with /signin, as the Run value starts it."""
        exe = "C:\\windows\\system32\\qvlpanel.exe"
        p = subprocess.Popen([os.environ["QVL_WINE"], exe, "/signin"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.programs.append(p)
        return p

    def spool(self, args):
        p = start_spool(self.spooler_dir, args)
        self.spoolers.append(p)
        return p

    def finish(self, p):
        self.spoolers.remove(p)
        return finish_spool(p, timeout=180)

    def remedy(self):
        subprocess.run([os.environ["QVL_WINE"], os.path.join(self.spooler_dir, "qvlspool.exe"),
                        "--signal-remedy"], check=False, timeout=30)

    def close(self):
        for p in self.spoolers + self.programs:
            if p.poll() is None:
                p.kill()
                p.wait(timeout=10)


def still_running(programs, what):
    time.sleep(1.0)  # a program that ends does so at once
    check(all(p.poll() is None for p in programs), what, [p.poll() for p in programs])


def section_signin(s):
    print("--- 1. a sign-in program and a QV-L3820 running out of paper")
    early = s.sign_in()
    try:
        code = early.wait(timeout=10)
    except subprocess.TimeoutExpired:
        code = None
    check(code == 0, "without a board the sign-in program ends at once, quietly", code)
    spooler = s.spool(["--port", "emu:QV-L3820", "--printer", OFFICE, "--page-ms", "200",
                       "--scenario", os.path.join(HERE, "qvl3820-paper-door.txt"),
                       "open", "wait", "1500",
                       "job", "--pages", "4", "--job-id", "7",
                       "wait-status", PAPER_OUT_UI, "--timeout", "30000",
                       "wait-status", "0", "--timeout", "90000", "wait", "5000",
                       "job", "--pages", "4", "--job-id", "8",
                       "wait-status", DOOR_OPEN_UI, "--timeout", "30000",
                       "wait-status", "0", "--timeout", "90000", "wait", "2500", "close"])
    code, text = s.run(s.probe, "board", "present")
    check(code == 0, "the monitor made the board", text)
    first = s.sign_in()
    s.expect("the sign-in program's own window", "windows", SESSION_WINDOW, "1")
    s.expect("no window that the other link's monitor finds", "window", LINK_WINDOW, "absent")
    s.expect("paper out: the status dialog with the printer's title",
             "text", status(OFFICE), STATUS_TEXT, PAPER_TEXT)
    s.expect("and its recovery button", "text", status(OFFICE), RECOVERY_BUTTON, "&Recovery >>")
    late = s.sign_in()
    s.expect("a program started after the code shows it too",
             "windows", status(OFFICE), "2", STATUS_TEXT, PAPER_TEXT)
    s.expect("Recovery >> pressed", "click", status(OFFICE), RECOVERY_BUTTON)
    s.expect("the recovery dialog opens", "windows", recovery(OFFICE), "1")
    s.expect("in place of that status dialog", "windows", status(OFFICE), "1")
    s.expect("the recovery dialog's text", "text", recovery(OFFICE), RECOVERY_TEXT, PAPER_RECOVERY)
    s.expect("its status text", "text", recovery(OFFICE), STATUS_TEXT, PAPER_TEXT)
    s.remedy()
    s.expect("paper in: the recovery dialog closes", "windows", recovery(OFFICE), "0")
    s.expect("and the other program's status dialog", "windows", status(OFFICE), "0")
    still_running([first, late], "both programs stay for the session")
    s.expect("the next job: the door opened, both show it",
             "windows", status(OFFICE), "2", STATUS_TEXT, DOOR_TEXT, patience=15)
    s.expect("the same two programs, no other", "running", "2")
    s.remedy()
    s.expect("the door closed: the dialogs close", "windows", status(OFFICE), "0")
    r = s.finish(spooler)
    check([x for x in statuses(r) if x != "0x00000000"] == [PAPER_OUT_UI, DOOR_OPEN_UI],
          "paper out, then door open, reached the spooler", statuses(r))
    check(len(kind(r, "remedy")) == 2, "both put right by the user", kind(r, "remedy"))
    still_running([first, late], "the programs stay after the spooler ended")
    return first, late


def section_restart(s, first, late):
    print("--- 2. the spooler started again while both programs wait")
    spooler = s.spool(["--port", "emu:QV-L3820", "--printer", OFFICE, "--page-ms", "100",
                       "--scenario", os.path.join(HERE, "..", "spooler", "qvl3820-41003.txt"),
                       "job", "--pages", "3", "wait-status", PAPER_OUT_UI, "wait", "4000",
                       "close"])
    s.expect("the new monitor's code reaches both programs",
             "windows", status(OFFICE), "2", STATUS_TEXT, PAPER_TEXT_NO_TRAY)
    s.expect("its status thread's end closes their dialogs", "windows", status(OFFICE), "0",
             patience=10)
    r = s.finish(spooler)
    check(PAPER_OUT_UI in statuses(r), "paper out reached the spooler", statuses(r))
    still_running([first, late], "the programs stay")
    late.kill()
    late.wait(timeout=10)


def section_two_printers(s, first):
    print("--- 3. two printers, two monitor processes, one board; the drum prompt")
    # Each printer's codes come from its own job steps, seconds apart: a QV-L3470's drum near
    # its end (a code held until OK), a QV-L3820 out of paper, the QV-L3470 out of paper too
    # (the same code), the QV-L3820 put right, the QV-L3820's drum worn out.
    hall = s.spool(["--port", "emu:QV-L3470", "--printer", HALL, "--page-ms", "100",
                    "--scenario", os.path.join(HERE, "qvl3470-drum-paper.txt"),
                    "job", "--pages", "1", "--job-id", "11", "wait", "7000",
                    "job", "--pages", "2", "--job-id", "12", "wait", "20000", "close"])
    s.expect("the QV-L3470's drum code", "text", status(HALL), STATUS_TEXT, NEAR_END_TEXT,
             patience=5)
    office = s.spool(["--port", "emu:QV-L3820", "--printer", OFFICE, "--page-ms", "100",
                      "--scenario", os.path.join(HERE, "qvl3820-paper-drum.txt"),
                      "job", "--pages", "2", "--job-id", "21",
                      "wait-status", PAPER_OUT_UI, "--timeout", "20000", "wait", "8000",
                      "remedy", "wait", "7000",
                      "job", "--pages", "2", "--job-id", "22", "wait", "10000", "close"])
    s.expect("the QV-L3820 out of paper", "text", status(OFFICE), STATUS_TEXT, PAPER_TEXT,
             patience=5)
    s.expect("closes the QV-L3470's dialog", "window", status(HALL), "absent")
    s.expect("the same code from the QV-L3470 opens its dialog",
             "text", status(HALL), STATUS_TEXT, HALL_PAPER_TEXT, patience=10)
    s.expect("and closes the QV-L3820's", "window", status(OFFICE), "absent")
    s.expect("the QV-L3820's paper in closes the QV-L3470's dialog",
             "window", status(HALL), "absent", patience=10)
    time.sleep(1.5)
    s.expect("and the QV-L3470's held code is not shown for the QV-L3820",
             "window", status(OFFICE), "absent")
    s.expect("the QV-L3820's drum worn out", "text", status(OFFICE), STATUS_TEXT, WORN_TEXT,
             patience=10)

    code, text = s.run(s.probe, "slots")
    slots = [json.loads(x) for x in text.splitlines() if x.startswith("{")]
    check(sorted(x["printer"] for x in slots) == [HALL, OFFICE] and
          len({x["owner"] for x in slots}) == 2, "one board: a slot for each monitor's port",
          slots)
    code, text = s.run(s.probe, "security")
    print(text.strip())
    check(code == 0, "the board's objects have the security session_link.h gives them")

    wid = subprocess.run(["xdotool", "search", "--name", "^%s$" % status(OFFICE)],
                         stdout=subprocess.PIPE).stdout.split()
    if wid:
        subprocess.run(["xdotool", "windowfocus", "--sync", wid[0]], stderr=subprocess.DEVNULL)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+shift+F1"])
    s.expect("Ctrl+Shift+F1 raises the drum prompt", "window", "WARNING!", "present")
    s.expect("OK in the prompt", "click", "WARNING!", OK_BUTTON)
    s.expect("the drum code answered: its dialog goes", "window", status(OFFICE), "absent")
    still_running([first], "the program stays")

    r_office, r_hall = s.finish(office), s.finish(hall)
    resets = [x["command"] for x in kind(r_office, "drum-reset")]
    check(resets == [QVL3820_RESET] and len(resets[0]) == 16,
          "the QV-L3820's port wrote the 16-byte reset command once", resets)
    check(len(kind(r_office, "printer", event="drum-reset")) == 1, "and the printer obeyed it")
    check(not kind(r_hall, "drum-reset") and not kind(r_hall, "printer", event="drum-reset"),
          "the QV-L3470's port beside it wrote none",
          kind(r_hall, "drum-reset") + kind(r_hall, "printer", event="drum-reset"))


def main():
    if not os.environ.get("QVL_WINE") or not os.environ.get("QVL_SYSDIR") or \
            not os.environ.get("DISPLAY"):
        print("SKIP: run under scripts/wine-env (QVL_WINE, QVL_SYSDIR, DISPLAY)")
        return 77
    spooler_dir, panel, status_dir, driver, probe = sys.argv[1:6]
    set_mode("nt")
    for f in (panel, os.path.join(status_dir, "qvl3820"), os.path.join(status_dir, "qvl3470")):
        shutil.copy(f, os.environ["QVL_SYSDIR"])
    s = Session(spooler_dir, driver, probe)
    try:
        code, text = s.run(driver, "running", "no")
        check(code == 0, "no display program left over from an earlier test", text)
        started = time.time()
        first, late = section_signin(s)
        print("section 1: %.1f s" % (time.time() - started))
        started = time.time()
        section_restart(s, first, late)
        print("section 2: %.1f s" % (time.time() - started))
        started = time.time()
        section_two_printers(s, first)
        print("section 3: %.1f s" % (time.time() - started))
    finally:
        s.close()
    print("session: %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

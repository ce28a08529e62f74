#!/usr/bin/env python3
"""The NT display link end to end under Wine: the real qvllink.dll under qvlspool --nt publishes
each printer's status as its printer data, and qvlpanel.exe started as at sign-in (/signin)
reads it through the spooler (our winspool.drv, which serves the stand-in's printers to every
process). Under Wine every program runs as one user, so whose jobs and which rights are what
the stand-in says (qvlspool's --owner and --deny): these cases show that the program obeys it.

  session_test.py SPOOLER_DIR QVLPANEL_EXE STATUS_FILE_DIR DISPLAY_DRIVER QVLLINK_DLL

1. A sign-in program started before any spooler stays; a QV-L3820 runs out of paper and it
   shows it (a second one started after the code shows it too), opens the recovery dialog,
   closes both when the paper is in and stays; the door opened later is shown by both.
2. A spooler started again while both programs wait: the new monitor's code reaches them and
   its status thread's end closes their dialogs. A spooler killed with a paper out shown: the
   dialogs close; started again, it publishes that left-over status as ended, and a program
   started then shows nothing.
3. Two printers in one spooler process: a QV-L3470's drum code for the user's job; a QV-L3820
   out of paper for another user's job, shown only by the program started with /all; the
   QV-L3820's drum worn out for the user's job. The drum reset: refused where the user may not
   manage the printer (the QV-L3470); where the user may, a request naming an earlier
   publication comes to nothing, the user's own works, and one made after it does not.
4. A print server's printer reached through the user's connection \\\\QVLSERVER\\Lab, read at
   the remote rate: its paper out is shown within one polling period and a look for printers.
Also: neither binary names an object in the Global\\ namespace.
Needs the environment of scripts/wine-env (QVL_WINE, QVL_SYSDIR, DISPLAY). Exit 77: skipped.
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "spooler"))
from spool_timeline import (check, failures, finish_spool, kind, set_mode,  # noqa: E402
                            start_spool, statuses)

HERE = os.path.dirname(os.path.abspath(__file__))
OFFICE, HALL, LAB = "Office QV-L3820", "Hall QV-L3470", "Lab QV-L3820"
LAB_CONNECTION = "\\\\QVLSERVER\\" + LAB
SESSION_WINDOW = "Status Display for QVL Printers - Session"  # DISPLAY_SESSION_WINDOW_TITLE
LINK_WINDOW = "Status Display for QVL Printers"  # the window the other link's monitor finds
PAPER_OUT_UI, DOOR_OPEN_UI = "0x00100010", "0x00500000"
# 41104 (tray 1, A4) in the words of each model's status file.
PAPER_TEXT = "Paper out: load A4 paper into the paper tray.\\r\\n"
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
REFUSED_BOX = "Status Display"  # the caption of the message that the reset was refused
# How soon a program sees a printer: a look for printers every 5 s, then a read every second
# (a print server's printer every 15 s).
FIND_S, REMOTE_S = 5, 15


def status(printer):
    return printer + " - Status Display"


def escaped(title):
    """A title as display_driver's text and window commands take it (backslash escapes)."""
    return title.replace("\\", "\\\\")


def recovery(printer):
    return status(printer) + " - Recovery"


class Session:
    def __init__(self, spooler_dir, driver):
        self.spooler_dir, self.driver = spooler_dir, driver
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

    def sign_in(self, *switches):
        """qvlpanel.exe from the system directory with /signin, as the Run value starts it; the
        spooler's functions from our winspool.drv beside it."""
        exe = "C:\\windows\\system32\\qvlpanel.exe"
        env = dict(os.environ, WINEDLLOVERRIDES="winspool.drv=n")
        p = subprocess.Popen([os.environ["QVL_WINE"], exe, "/signin"] + list(switches), env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.programs.append(p)
        return p

    def spool(self, args):
        p = start_spool(self.spooler_dir, ["--watch-display"] + args)
        self.spoolers.append(p)
        return p

    def finish(self, p):
        self.spoolers.remove(p)
        return finish_spool(p, timeout=180)

    def remedy(self):
        subprocess.run([os.environ["QVL_WINE"], os.path.join(self.spooler_dir, "qvlspool.exe"),
                        "--signal-remedy"], check=False, timeout=30)

    def drum_prompt(self, printer):
        """Ctrl+Shift+F1 in the printer's status dialog, as the user presses it."""
        wid = subprocess.run(["xdotool", "search", "--name", "^%s$" % status(printer)],
                             stdout=subprocess.PIPE).stdout.split()
        if wid:
            subprocess.run(["xdotool", "windowfocus", "--sync", wid[0]],
                           stderr=subprocess.DEVNULL)
            subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+shift+F1"])
        self.expect("Ctrl+Shift+F1 raises the drum prompt in %s's dialog" % printer,
                    "window", "WARNING!", "present")
        self.expect("OK in the prompt", "click", "WARNING!", OK_BUTTON)

    def end(self, program):
        program.kill()
        program.wait(timeout=10)
        self.programs.remove(program)

    def close(self):
        for p in self.spoolers + self.programs:
            if p.poll() is None:
                p.kill()
                p.wait(timeout=10)


def still_running(programs, what):
    time.sleep(1.0)  # a program that ends does so at once
    check(all(p.poll() is None for p in programs), what, [p.poll() for p in programs])


def published(r, printer=None):
    """The monitor's publications: (code, model, thread ended) of each Status it wrote."""
    return [(x["code"], x["model"], x["thread_ended"]) for x in kind(r, "session", what="status")
            if printer is None or x["printer"] == printer]


def section_signin(s):
    print("--- 1. a sign-in program before the spooler; a QV-L3820 running out of paper")
    first = s.sign_in()
    still_running([first], "started before any spooler, the sign-in program stays")
    s.expect("the sign-in program's own window", "windows", SESSION_WINDOW, "1")
    s.expect("no window that the other link's monitor finds", "window", LINK_WINDOW, "absent")
    spooler = s.spool(["--port", "emu:QV-L3820", "--printer", OFFICE, "--page-ms", "200",
                       "--scenario", os.path.join(HERE, "qvl3820-paper-door.txt"),
                       "open", "wait", "1500",
                       "job", "--pages", "4", "--job-id", "7",
                       "wait-status", PAPER_OUT_UI, "--timeout", "30000",
                       "wait-status", "0", "--timeout", "90000", "wait", "5000",
                       "job", "--pages", "4", "--job-id", "8",
                       "wait-status", DOOR_OPEN_UI, "--timeout", "30000",
                       "wait-status", "0", "--timeout", "90000", "wait", "2500", "close"])
    s.expect("paper out: the status dialog with the printer's title",
             "text", status(OFFICE), STATUS_TEXT, PAPER_TEXT, patience=FIND_S + 10)
    s.expect("and its recovery button", "text", status(OFFICE), RECOVERY_BUTTON, "&Recovery >>")
    late = s.sign_in()
    s.expect("a program started after the code shows it too",
             "windows", status(OFFICE), "2", STATUS_TEXT, PAPER_TEXT, patience=FIND_S)
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
    codes = published(r, OFFICE)
    check((41104, 3820, 0) in codes and (40021, 3820, 0) in codes and codes[-1][2] == 1,
          "published as the printer's data: its codes with its model, then its thread's end",
          codes)
    check(all(x["result"] == 1 for x in kind(r, "session")), "every publication written")
    still_running([first, late], "the programs stay after the spooler ended")
    return first, late


def section_restart(s, first, late):
    print("--- 2. the spooler started again; a spooler killed, its status left over")
    spooler = s.spool(["--port", "emu:QV-L3820", "--printer", OFFICE, "--page-ms", "100",
                       "--scenario", os.path.join(HERE, "..", "spooler", "qvl3820-41003.txt"),
                       "job", "--pages", "3", "wait-status", PAPER_OUT_UI, "wait", "4000",
                       "close"])
    s.expect("the new monitor's code reaches both programs",
             "windows", status(OFFICE), "2", STATUS_TEXT, PAPER_TEXT_NO_TRAY, patience=FIND_S + 5)
    s.expect("its status thread's end closes their dialogs", "windows", status(OFFICE), "0",
             patience=10)
    r = s.finish(spooler)
    check(PAPER_OUT_UI in statuses(r), "paper out reached the spooler", statuses(r))

    crashed = s.spool(["--port", "emu:QV-L3820", "--printer", OFFICE, "--page-ms", "100",
                       "--scenario", os.path.join(HERE, "..", "spooler", "qvl3820-41003.txt"),
                       "job", "--pages", "3", "wait-status", PAPER_OUT_UI, "wait", "60000"])
    s.expect("paper out again, in both", "windows", status(OFFICE), "2", STATUS_TEXT,
             PAPER_TEXT_NO_TRAY, patience=FIND_S + 5)
    s.spoolers.remove(crashed)
    crashed.kill()  # the spooler crashes: its printer data stays, its thread's end unpublished
    crashed.wait(timeout=30)
    s.expect("the spooler gone, its printer's dialogs close", "windows", status(OFFICE), "0",
             patience=5)
    again = s.spool(["--port", "emu:QV-L3820", "--printer", OFFICE, "open", "wait", "9000",
                     "close"])
    fresh = s.sign_in()
    time.sleep(FIND_S + 2)
    s.expect("started again without a job: no program shows the status left over",
             "windows", status(OFFICE), "0")
    r = s.finish(again)
    check(published(r, OFFICE)[:1] == [(0, 3820, 1)],
          "at its start the spooler's monitor published the left-over status as ended",
          published(r, OFFICE))
    still_running([first, late, fresh], "the programs stay")
    s.end(late)
    s.end(fresh)


def section_two_printers(s, first):
    print("--- 3. two printers in one spooler; whose dialogs; the drum reset")
    every = s.sign_in("/all")
    spooler = s.spool([
        "--port", "emu:QV-L3470", "--printer", HALL, "--page-ms", "100",
        "--scenario", os.path.join(HERE, "qvl3470-drum-paper.txt"), "--deny", "administer",
        "job", "--pages", "1", "--job-id", "11", "wait", "10000",
        "port", "emu:QV-L3820", "--printer", OFFICE,
        "--scenario", os.path.join(HERE, "qvl3820-paper-drum.txt"),
        "job", "--pages", "2", "--job-id", "21", "--owner", "visitor",
        "wait-status", PAPER_OUT_UI, "--timeout", "20000", "wait", "9000",
        "remedy", "wait", "6000",
        "job", "--pages", "2", "--job-id", "22", "wait", "4000",
        "drum-reset", "--sequence", "1", "wait", "12000", "drum-reset", "wait", "2000", "close"])
    s.expect("the QV-L3470's drum code for the user's job", "windows", status(HALL), "2",
             STATUS_TEXT, NEAR_END_TEXT, patience=FIND_S + 5)
    s.drum_prompt(HALL)
    s.expect("the user may not manage the QV-L3470: the reset is refused, and said so",
             "window", REFUSED_BOX, "present")
    s.expect("that message closed", "click", REFUSED_BOX, OK_BUTTON)
    s.expect("the drum dialog stays", "window", status(HALL), "present")
    s.expect("another user's job on the QV-L3820 runs out of paper: shown with /all",
             "windows", status(OFFICE), "1", STATUS_TEXT, PAPER_TEXT, patience=20)
    time.sleep(2)
    s.expect("and not by the program of the user without a job there",
             "windows", status(OFFICE), "1")
    s.expect("paper in: closed", "windows", status(OFFICE), "0", patience=10)
    s.expect("the user's own job: the QV-L3820's drum worn out, in both programs",
             "windows", status(OFFICE), "2", STATUS_TEXT, WORN_TEXT, patience=10)
    time.sleep(5)  # meanwhile a request naming an earlier publication came to nothing
    s.drum_prompt(OFFICE)
    s.expect("the drum code answered: its dialog goes", "windows", status(OFFICE), "1")

    still_running([first, every], "the programs stay")

    r = s.finish(spooler)
    resets = [x["command"] for x in kind(r, "drum-reset")]
    check(resets == [QVL3820_RESET], "the QV-L3820's port wrote the reset command once (not "
          "for the stale request, not again for the last), the QV-L3470's none", resets)
    check(len(kind(r, "printer", event="drum-reset")) == 1, "and the printer obeyed it")
    requests = [(x["sequence"], x["result"]) for x in kind(r, "drum-request")]
    check(len(requests) == 2 and requests[0] == (1, 1) and requests[1][1] == 1,
          "a request naming an earlier publication and one after the user's were written",
          requests)
    deleted = [x for x in kind(r, "session", what="drum-deleted") if x["printer"] == OFFICE]
    check(len(deleted) >= 2, "the monitor took the stale request and the user's while the drum "
          "code was shown", deleted)
    codes = published(r)
    check((40558, 3470, 0) in codes and (41104, 3820, 0) in codes and (40559, 3820, 0) in codes,
          "each printer's codes with its own model, from one spooler", codes)
    s.end(every)


def section_connection(s, first):
    print("--- 4. a print server's printer through the user's connection")
    spooler = s.spool(["--port", "emu:QV-L3820", "--printer", LAB, "--page-ms", "100",
                       "--deny", "local", "--connection", LAB_CONNECTION,
                       "--scenario", os.path.join(HERE, "..", "spooler", "qvl3820-41003.txt"),
                       "open", "wait", str((FIND_S + 2) * 1000), "job", "--pages", "3",
                       "wait-status", PAPER_OUT_UI, "wait", str((FIND_S + REMOTE_S + 6) * 1000),
                       "close"])
    time.sleep(FIND_S + 2)  # the program has found the connection's printer meanwhile
    started = time.time()
    s.expect("the connection's paper out, within one polling period of the user's job",
             "text", escaped(status(LAB_CONNECTION)), STATUS_TEXT, PAPER_TEXT_NO_TRAY,
             patience=REMOTE_S + 3)
    print("   shown %.1f s after the job started" % (time.time() - started))
    s.expect("as the connection's name, not the server's own", "window", status(LAB), "absent")
    r = s.finish(spooler)
    check((41003, 3820, 0) in published(r, LAB), "the monitor published it as the printer's "
          "data on the server", published(r, LAB))
    s.expect("the thread's end reaches the client at the next read", "windows",
             status(LAB_CONNECTION), "0", patience=REMOTE_S + 2)
    still_running([first], "the program stays")


def names_global_objects(path):
    data = open(path, "rb").read()
    return b"Global\\" in data or "Global\\".encode("utf-16-le") in data


def main():
    if not os.environ.get("QVL_WINE") or not os.environ.get("QVL_SYSDIR") or \
            not os.environ.get("DISPLAY"):
        print("SKIP: run under scripts/wine-env (QVL_WINE, QVL_SYSDIR, DISPLAY)")
        return 77
    spooler_dir, panel, status_dir, driver, dll = sys.argv[1:6]
    set_mode("nt")
    check(not names_global_objects(dll) and not names_global_objects(panel),
          "neither qvllink.dll nor qvlpanel.exe names an object in the Global\\ namespace")
    for f in (panel, os.path.join(status_dir, "qvl3820"), os.path.join(status_dir, "qvl3470"),
              os.path.join(spooler_dir, "winspool.drv")):
        shutil.copy(f, os.environ["QVL_SYSDIR"])
    s = Session(spooler_dir, driver)
    try:
        code, text = s.run(driver, "running", "no")
        check(code == 0, "no display program left over from an earlier test", text)
        for number, section in enumerate((section_signin, section_restart,
                                          section_two_printers, section_connection), 1):
            started = time.time()
            if number == 1:
                first, late = section(s)
            elif number == 2:
                section(s, first, late)
            else:
                section(s, first)
            print("section %d: %.1f s" % (number, time.time() - started))
    finally:
        s.close()
    print("session: %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

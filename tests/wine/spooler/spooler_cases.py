#!/usr/bin/env python3
"""qvlspool end to end under Wine: runs the real qvllink.dll under the spooler stand-in with an
emulated (or network) printer and checks the timeline.

  spooler_cases.py [--nt] CASE SPOOLER_DIR [QVLWATCH_EXE]

Every case runs in either mode: through the Windows 95 generation's entry (the default), or with
--nt through the NT-family spooler's (qvlspool --nt), where it asserts the same of the monitor
(names translated: OpenPrinterW for OpenPrinterA) and, for every run, what spool_timeline.py
checks of each job's end and of Shutdown. Where a case cannot mean the same on NT its docstring
says how its NT form differs. The cases only NT has are in nt_cases.py.

Needs the environment of scripts/wine-env (QVL_WINE, QVL_SYSDIR, WINEPREFIX). Exit 77: skipped.
"""
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

import nt_cases
from spool_timeline import (HERE, ROOT, SCENARIOS, check, data_written, failures, index, is_ejected,
                            is_op, is_port, job_bytes, kind, native_qvlprinter, nt, qvlspool,
                            registry_value, set_mode, spool, statuses)

PREFIX = "\x1b%-12345X@PJL\r\n", "@PJL USTATUS DEVICE=ON\r\n"
REQUEST_1 = ("\x1b%-12345X@PJL\r\n@PJL USTATUS DEVICE=ON\r\n@PJL INFO CONFIG\r\n"
             "@PJL INFO MEMORY\r\n\x1b%-12345X")
REQUEST_3 = "\x1b%-12345X@PJL INFO CONFIG\r\n@PJL INFO MEMORY\r\n\x1b%-12345X"
PAPER_OUT_UI = "0x00100010"


# --- cases -----------------------------------------------------------------------------------

def prefix_writes(job, run):
    """What the monitor writes into a job with a prefix, in its writes: the two prefix lines;
    NT: the second also asks for job reports and opens the monitor's job QVLLINK JOB.RUN, which
    a third write, at EndDocPort, closes."""
    if not nt():
        return list(PREFIX)
    name = "QVLLINK %d.%d" % (job, run)
    return [PREFIX[0], PREFIX[1] + '@PJL USTATUS JOB=ON\r\n@PJL JOB NAME="%s"\r\n' % name,
            '\x1b%%-12345X@PJL EOJ NAME="%s"\r\n\x1b%%-12345X' % name]


def case_prefix(d):
    """The PJL prefix goes ahead of a job's first data, once, for level 1 and level 2 documents
    of mode 1; a level 2 document of mode 0 gets none and its end is not deferred.
    NT: the prefix opens the monitor's own PJL job, closed after the data (prefix_writes)."""
    r = spool(d, ["job", "--pages", "2", "--job-id", "7", "wait-idle",
                  "job", "--pages", "1", "--job-id", "8", "--level", "2", "--mode", "0",
                  "job", "--pages", "1", "--job-id", "9", "--level", "2", "--mode", "1",
                  "wait-idle", "close"])
    starts = [i for i, x in enumerate(r) if is_port("StartDocPort")(x)] + [len(r)]
    check(len(starts) == 4, "three lower jobs", len(starts) - 1)
    if len(starts) != 4:
        return
    for job, (a, b), run in zip((7, 8, 9), zip(starts, starts[1:]), (1, 0, 2)):
        writes = kind(r[a:b], "write")
        monitor = [w["bytes"] for w in writes if w["from"] == "monitor"]
        first_job = index(writes, lambda w: w["from"] == "job")
        if run:
            check(monitor == prefix_writes(job, run), "job %d: the two prefix lines, once" % job,
                  monitor)
            check(first_job == 2, "job %d: prefix before the first data" % job, first_job)
        else:
            check(monitor == [], "job %d (level 2, mode 0): no prefix" % job, monitor)
    check(data_written(r) == [(b, b) for _, b in data_written(r)], "every job byte taken")
    # Level 2 mode 0: no request went out, so EndDocPort ends the lower job at once.
    a, b = starts[1], starts[2]
    end_op = index(r, is_op("EndDocPort"), a)
    lower_end = index(r, is_port("EndDocPort"), a)
    check(a < lower_end < end_op < b, "mode 0 job: its EndDocPort ends the lower job at once",
          (a, lower_end, end_op, b))


def case_deferred_end(d):
    """A generic PJL printer: EndDocPort leaves the lower job open until the printer reports the
    end of this job id; then the status thread clears the status, ends the lower job and closes
    the printer. It leaves the display window alone: the program never showed this printer.
    NT: the report awaited is that of the monitor's own job, QVLLINK 21.1."""
    r = spool(d, ["--page-ms", "300", "--watch-display",
                  "job", "--pages", "3", "--job-id", "21", "wait-idle", "--timeout", "15000",
                  "close"])
    end_op = index(r, is_op("EndDocPort"))
    name = 'NAME="QVLLINK 21.1"' if nt() else 'NAME="MSJOB 21"'
    report = index(r, lambda x: x["kind"] == "reply" and "END" in x["text"] and name in x["text"])
    lower_end = index(r, is_port("EndDocPort"))
    check(end_op >= 0 and report > end_op, "the job's end is reported after EndDocPort",
          (end_op, report))
    check(lower_end > report, "the lower job ends only after the report", (report, lower_end))
    if nt():
        check(index(r, is_ejected(21)) > report, "the spooler hears of the job's end after the "
              "report", index(r, is_ejected(21)))
    status0 = index(r, lambda x: x["kind"] == "status" and x["status"] == "0x00000000", report)
    check(report < status0 < lower_end, "the spooler status is cleared at the thread's end")
    closed = index(r, lambda x: x["kind"] == "spooler" and x["call"] == "ClosePrinter", report)
    check(closed > report, "the printer handle is closed")
    check(not kind(r, "display"), "no WM_DESTROY for a printer the display never showed",
          kind(r, "display"))
    wait = kind(r, "wait")
    check(wait and wait[0]["met"] == 1, "the deferred end completed before close", wait)
    check(index(r, is_op("ClosePort")) > max(lower_end, closed), "all this before ClosePort")
    check(r[-1]["printer_handles"] == 0, "no printer handle left open")


def case_maker_deferred(d):
    """The maker's printers answer in a plain form with no job-end report: the deferred end of
    a job completes at the next job's start, and the last one at ClosePort."""
    r = spool(d, ["--port", "emu:QV-L3820", "job", "--pages", "1", "wait", "2500",
                  "job", "--pages", "1", "wait", "2500", "close"])
    ends = [i for i, x in enumerate(r) if is_port("EndDocPort")(x)]
    starts = [i for i, x in enumerate(r) if is_port("StartDocPort")(x)]
    second_op = index(r, is_op("StartDocPort", job=2))
    close_op = index(r, is_op("ClosePort"))
    close_port = index(r, is_port("ClosePort"))
    check(len(ends) == 2 and len(starts) == 2, "two lower jobs, two lower ends", (starts, ends))
    if len(ends) == 2 and len(starts) == 2:
        check(ends[0] < starts[1] and ends[0] > index(r, is_op("EndDocPort")),
              "job 1 ends in job 2's StartDocPort", (ends, starts))
        check(second_op > ends[0], "... before that StartDocPort returns")
        check(ends[1] > index(r, is_op("EndDocPort", ), starts[1]) and ends[1] < close_port,
              "job 2 ends in ClosePort")
        check(close_op > close_port, "ClosePort returns after the thread's clean-up")


def case_idle_end(d):
    """The maker's printers never report a job's end: the deferred end completes once the
    printer has been silent for IdleTimeout4L (shortened here in the monitor's own key), so the
    lower job ends long before ClosePort, and the status thread leaves as after a report."""
    root = "SOFTWARE\\QVL Test\\Idle End"
    with registry_value(root, "IdleTimeout4L", 1500):
        r = spool(d, ["--port", "emu:QV-L3820", "--registry-root", root,
                      "job", "--pages", "1", "wait-idle", "--timeout", "15000", "close"])
    end_op = index(r, is_op("EndDocPort"))
    lower_end = index(r, is_port("EndDocPort"))
    close_op = index(r, is_op("ClosePort"))
    check(kind(r, "wait") and kind(r, "wait")[0]["met"] == 1,
          "the deferred end completed without a job-end report", kind(r, "wait"))
    check(end_op < lower_end < close_op, "the lower job ended between EndDocPort and ClosePort",
          (end_op, lower_end, close_op))
    if end_op >= 0 and lower_end >= 0:
        silent = r[lower_end]["t"] - r[end_op]["t"]
        check(silent >= 1500, "not before the printer was silent for the idle time-out", silent)
    status0 = index(r, lambda x: x["kind"] == "status" and x["status"] == "0x00000000", end_op)
    check(end_op < status0 < lower_end, "the status thread cleared the status as it left",
          (end_op, status0, lower_end))


def case_generic_status(d):
    """Status codes of a generic PJL printer become spooler status: a jam and its clearing, then
    the front door opened after the first job, until the user closes it.
    NT: the door stays in the spooler status after the job (the port is a USB port: the status
    thread stays and watches), until the printer reports it closed; then, after the idle time
    (shortened here in the monitor's key), the thread leaves and the job's end is told."""
    steps = ["--scenario", os.path.join(SCENARIOS, "generic-jam-door.txt"), "--page-ms", "200",
             "job", "--pages", "4"]
    if nt():
        root = "SOFTWARE\\QVL Test\\Door Watch"
        with registry_value(root, "IdleTimeoutOther", 5000):
            r = spool(d, ["--registry-root", root] + steps +
                      ["wait-status", "0x00500080", "--timeout", "20000", "wait", "3000",
                       "wait-status", "0x00500080", "--timeout", "100", "remedy",
                       "wait-status", "0", "--timeout", "8000",
                       "wait-idle", "--timeout", "15000", "close"])
        met = [x["met"] for x in kind(r, "wait")]
        check(met == [1, 1, 1, 1], "door shown, still shown 3 s later, cleared by the printer's "
              "report, then the job's end", met)
        door = index(r, lambda x: x["kind"] == "status" and x["status"] == "0x00500080")
        remedy = index(r, lambda x: x["kind"] == "remedy")
        cleared = index(r, lambda x: x["kind"] == "status" and x["status"] == "0x00000000", door)
        check(door < remedy < cleared < index(r, is_port("EndDocPort"), door),
              "the door's status kept until the printer reports it closed",
              (door, remedy, cleared))
    else:
        r = spool(d, steps + ["wait-idle", "--timeout", "20000", "close"])
    s = [x for x in statuses(r) if x != "0x00000000"]
    # The printer reports both conditions with ONLINE=FALSE, which adds OFFLINE.
    check(s == ["0x00100088", "0x00500080"], "jam, then door open (with user intervention)", s)
    names = [x["names"] for x in kind(r, "status") if x["status"] != "0x00000000"]
    check(names == ["PAPER_JAM+OFFLINE+USER_INTERVENTION",
                    "OFFLINE+USER_INTERVENTION+DOOR_OPEN"], "status names", names)
    jam = index(r, lambda x: x["kind"] == "status" and x["status"] == "0x00100088")
    door = index(r, lambda x: x["kind"] == "status" and x["status"] == "0x00500080")
    check(index(r, lambda x: x["kind"] == "status" and x["status"] == "0x00000000", jam) < door,
          "the cleared jam clears the status before the door opens")
    check(kind(r, "wait")[-1]["met"] == 1, "the job's end was reported")


def case_display(d):
    """A QV-L3820 reporting CODE=41003: paper out for the spooler, and the code with the model
    number posted to the display window, the printer's name in the shared mapping.
    NT: the spooler's service cannot reach a user's windows, so the monitor posts nothing to the
    display window; it publishes the code with the model as the printer's Status printer data,
    which the display program reads, and paper out still reaches the spooler."""
    printer = "Office QV-L3820"
    r = spool(d, ["--port", "emu:QV-L3820", "--printer", printer, "--watch-display",
                  "--scenario", os.path.join(HERE, "qvl3820-41003.txt"), "--page-ms", "100",
                  "job", "--pages", "3", "wait-status", PAPER_OUT_UI, "remedy",
                  "wait-status", "0", "close"])
    posts = [(x["wParam"], x["lParam"], x.get("printer")) for x in kind(r, "display", message=1034)]
    check(PAPER_OUT_UI in statuses(r), "spooler status PAPER_OUT + USER_INTERVENTION",
          statuses(r))
    if nt():
        check(not kind(r, "display"), "nothing posted to the display window", kind(r, "display"))
        codes = [(x["printer"], x["code"], x["model"]) for x in kind(r, "session", what="status")]
        check((printer, 41003, 3820) in codes, "41003 published with model 3820", codes)
        return
    check(posts[:2] == [(41003, 3820, printer), (10001, 3820, printer)],
          "41003 then 10001 posted with model 3820 and the printer's name", posts)
    check(kind(r, "display", message=2), "WM_DESTROY when the port closes")


def case_launch(d, watch):
    """No display window: the monitor starts qvlpanel.exe from the system directory, hidden, and
    the code reaches it; WM_DESTROY ends it when the port closes.
    NT: a program the spooler's service started would run where no user sees it, so the monitor
    starts nothing (the display program starts in each user's session); paper out still
    reaches the spooler."""
    sysdir = os.environ["QVL_SYSDIR"]
    target = os.path.join(sysdir, "qvlpanel.exe")
    saved = target + ".saved"
    if os.path.exists(target):
        os.replace(target, saved)
    log = tempfile.NamedTemporaryFile(prefix="qvlwatch-", suffix=".log", delete=False).name
    # Under Wine the first window of a session starts the desktop process, and a WinExec made
    # meanwhile can return before the program's window exists: have the desktop up first, as
    # it always is on Windows.
    holder = subprocess.Popen([os.environ["QVL_WINE"], watch, "--hold", "60"])
    time.sleep(2.0)
    try:
        with open(watch, "rb") as src, open(target, "wb") as dst:
            dst.write(src.read())
        printer = "Office QV-L3820"
        r = spool(d, ["--port", "emu:QV-L3820", "--printer", printer,
                      "--scenario", os.path.join(HERE, "qvl3820-41003.txt"),
                      "job", "--pages", "3", "wait-status", PAPER_OUT_UI, "wait", "500",
                      "close"],
                  {"QVLWATCH_LOG": "Z:" + log})
        time.sleep(1.0)
        lines = [json.loads(x) for x in open(log) if x.strip()]
        check(PAPER_OUT_UI in statuses(r), "paper out reached the spooler")
        if nt():
            check(lines == [], "nothing started, nothing posted", lines)
            return
        started = [x for x in lines if x["kind"] == "started"]
        check(len(started) == 1, "the program was started once", started)
        if started:
            check(started[0]["path"].lower().endswith("windows/system32/qvlpanel.exe"),
                  "from the system directory", started[0]["path"])
            check(started[0]["show"] == 0, "hidden (SW_HIDE)", started[0]["show"])
        posts = [(x["wParam"], x["lParam"], x["printer"]) for x in lines
                 if x["kind"] == "display" and x["message"] == 1034]
        check(posts[:1] == [(41003, 3820, printer)], "41003 arrives with 3820 and the name",
              posts)
        check(any(x["kind"] == "display" and x["message"] == 2 for x in lines) and
              lines[-1]["kind"] == "ended", "WM_DESTROY ends it", lines[-2:])
    finally:
        holder.terminate()
        holder.wait(timeout=10)
        os.remove(target)
        if os.path.exists(saved):
            os.replace(saved, target)
        os.remove(log)


def case_memory(d):
    """Memory queries are answered from the printer's INFO replies: the QV-L3820 gets request 1
    and its installed memory is raised by 212000; a generic printer gets request 3."""
    for port, request, installed, available in (
            ("emu:generic", REQUEST_3, 2097152, 1494416),
            ("emu:QV-L3820", REQUEST_1, 3982304 + 212000, 2621440)):
        r = spool(d, ["--port", port, "start", "memory", "write", "--pages", "1", "end",
                      "close"])
        answers = [(x["name"], x.get("value"), x["result"])
                   for x in kind(r, "op", op="GetPrinterDataFromPort")]
        check(answers == [("Installed Memory", installed, 1), ("Available Memory", available, 1)],
              port + ": memory answers", answers)
        sent = [x["bytes"] for x in kind(r, "write", **{"from": "monitor"})]
        check(request in sent, port + ": the memory request", sent)
        data = {x["name"]: x["value"] for x in kind(r, "data")}
        check(data == {"Installed Memory": installed, "Available Memory": available},
              port + ": stored as printer data", data)


def case_drum_reset(d):
    """The display program's drum counter reset request (the named event) reaches the printer as
    the model's command, whole, once. NT: the request is the printer's Drum Reset printer data
    naming the publication it answers, written through a handle opened to manage the printer;
    the monitor deletes it once it has acted."""
    for port, command in (("emu:QV-L3820", "\x1b\x1b\x00ENG_CMD,0x54;"),
                          ("emu:QV-L3470", "\x1b\x1b\x00RE_PU;")):
        # NT: the drum code published first (a worn-out drum), as the display program's prompt
        # answers it.
        shown = ["--watch-display", "--scenario", os.path.join(HERE, "drum-end.txt")] if nt() \
            else []
        r = spool(d, ["--port", port] + shown + ["job", "--pages", "1",
                                                 "wait", "1500" if nt() else "300",
                                                 "drum-reset", "wait", "4500", "close"])
        if nt():
            asked = [(x["result"], x["sequence"]) for x in kind(r, "drum-request")]
            drum = [x["sequence"] for x in kind(r, "session", what="status") if x["code"] == 40559]
            check(len(asked) == 1 and asked[0][0] == 1 and asked[0][1] in drum,
                  port + ": the request names the drum code's publication", (asked, drum))
            check([x["result"] for x in kind(r, "session", what="drum-deleted")] == [1],
                  port + ": the monitor deleted the request", kind(r, "session"))
        else:
            check([x["result"] for x in kind(r, "op", op="SetDrumResetEvent")] == [1],
                  port + ": the event exists while the status thread runs")
        resets = [x["command"] for x in kind(r, "drum-reset")]
        check(resets == [command], port + ": one drum reset command", resets)
        obeyed = kind(r, "printer", event="drum-reset")
        check(len(obeyed) == 1, port + ": the printer obeyed it", obeyed)


def case_faults(d):
    """Port monitor faults cost no job byte and no reply: a prefix line written in part is
    written again whole, partial and empty data writes are offered again, failed reads lose
    nothing. And the command line's own: --help is answered, an unknown option is named."""
    exe = [os.environ["QVL_WINE"], os.path.join(d, "qvlspool.exe")]
    for args, want_rc, want in ((["--help"], 0, "usage: qvlspool"),
                                (["--bogus", "job"], 2, "unknown option '--bogus'"),
                                (["--printer"], 2, "missing value for '--printer'")):
        out = subprocess.run(exe + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             timeout=60)
        text = (out.stdout if want_rc == 0 else out.stderr).decode("latin-1")
        check(out.returncode == want_rc and want in text,
              "qvlspool %s: exit %d, says %r" % (" ".join(args), want_rc, want),
              (out.returncode, text[:200]))
    clean = spool(d, ["--page-ms", "50", "job", "--pages", "3", "wait-idle", "close"])
    want_replies = [x["text"] for x in kind(clean, "reply")]
    runs = {
        "prefix written in part": ["--short-writes", "1:2:5"],
        "data written in part": ["--short-writes", "3:4:1000"],
        "data not written": ["--short-writes", "3:3:0"],
        "reads failing": ["--fail-reads", "1:3"],
    }
    for what, faults in runs.items():
        r = spool(d, faults + ["--page-ms", "50", "job", "--pages", "3", "wait-idle",
                               "--timeout", "20000", "close"])
        check(data_written(r) == data_written(clean), what + ": every job byte written",
              data_written(r))
        check(job_bytes(r) == job_bytes(clean), what + ": the port took every job byte",
              (job_bytes(r), job_bytes(clean)))
        check([x["text"] for x in kind(r, "reply")] == want_replies, what + ": every reply",
              [x["text"] for x in kind(r, "reply")])
        check(kind(r, "wait")[0]["met"] == 1, what + ": the job's end was reported")
        if "reads" in what:
            check(len([x for x in kind(r, "port", call="ReadPort") if x["result"] == 0]) == 3,
                  what + ": three reads failed")
        else:
            check(any("fault" in x for x in kind(r, "write")), what + ": faults were injected")


def comparable(records):
    """What a port of either kind must show alike: per kind, the records without time stamps;
    the port monitor's own records and the printer's events (seen only in-process) left out.
    The spooler calls come from two threads (the port's status thread and, on NT, the display
    link's publisher), whose calls may interleave either way: compared as a set."""
    keep = {"op", "write", "written", "reply", "status", "data", "wait", "spooler", "job-control"}
    per = {}
    for x in records:
        if x["kind"] in keep:
            y = {k: v for k, v in x.items() if k not in ("t", "ms", "port")}
            per.setdefault(x["kind"], []).append(y)
    if "spooler" in per:
        per["spooler"].sort(key=lambda y: json.dumps(y, sort_keys=True))
    return per


def case_tcp_matches_emu(d):
    """The same job over tcp: to the native qvlprinter and over emu: gives the same timeline.
    NT: a standard TCP/IP port answers no device ID question, so both ports are told the ID the
    tcp: port builds on Windows 95 (as a port monitor that knows its printer answers it, the way
    a USB port does); a third run over the tcp: port as it is shows the network port leaving
    the printer unidentified: no PJL, and the job's end told at once."""
    exe = native_qvlprinter()
    scenario = os.path.join(HERE, "generic-jam.txt")
    device_id = "MDL:generic;CMD:PJL;"
    steps = (["--device-id", device_id] if nt() else []) + [
             "--page-ms", "200", "--scenario", scenario,
             "start", "--job-id", "5", "memory", "write", "--pages", "4", "end",
             "wait-idle", "--timeout", "20000", "close"]
    server = subprocess.Popen([exe, "--model", "generic", "--page-ms", "200", "--scenario",
                               scenario] + ([] if nt() else ["--lenient-job-reports"]) + ["0"],
                              stdout=subprocess.PIPE)
    try:
        line = server.stdout.readline().decode()
        port = line.strip().rsplit(":", 1)[-1]
        check(port.isdigit(), "qvlprinter listens", line)
        emu = spool(d, steps)
        tcp_steps = [s for s in steps]
        tcp_steps[tcp_steps.index("--scenario"):tcp_steps.index("--scenario") + 2] = []
        tcp = spool(d, ["--port", "tcp:127.0.0.1:" + port] + tcp_steps)
        if nt():
            network = spool(d, ["--port", "tcp:127.0.0.1:" + port] + tcp_steps[2:])
    finally:
        server.send_signal(signal.SIGTERM)
        server.wait(timeout=10)
    a, b = comparable(emu), comparable(tcp)
    for k in sorted(set(a) | set(b)):
        check(a.get(k) == b.get(k), "same %s records over emu: and tcp:" % k,
              (a.get(k), b.get(k)))
    check("0x00100088" in statuses(tcp), "the jam reached the spooler over tcp")
    ids = [x.get("answer") for x in kind(tcp, "port", call="GetPrinterDataFromPort")]
    want = "\x00%c%s\x00" % (len(device_id) + 2, device_id) if nt() else device_id
    check(ids and all(i == want for i in ids),
          "the device ID from the printer's INFO ID answer (NT: the one given)", ids)
    if nt():
        asked = kind(network, "port", call="GetPrinterDataFromPort")
        check(asked and all(x["result"] == 0 for x in asked), "the network port answers no "
              "device ID question", asked)
        check(not kind(network, "write", **{"from": "monitor"}) and
              data_written(network) == data_written(tcp), "no PJL for an unidentified printer, "
              "every job byte written", kind(network, "write", **{"from": "monitor"}))


def case_bench(d):
    """A 64 MiB job reaches the emulated printer byte for byte, through the language monitor and
    straight to the port monitor; both rates are reported."""
    code, r, _ = qvlspool(d, ["bench", "--size", "64M"], timeout=600)
    bench = kind(r, "bench")
    check(code == 0, "bench exit code", code)
    check([b["path"] for b in bench] == ["language-monitor", "port-monitor"], "both paths run")
    for b in bench:
        check(b["byte_for_byte"] == 1 and b["bytes"] == 64 << 20,
              b["path"] + ": 64 MiB byte for byte", b)
        if nt() and b["path"] == "language-monitor":
            check(b.get("last_page_ejected") == 1, "the job's end told once", b)
        print("%s: %s MiB/s (%d ms, %d bytes added)" % (b["path"], b["mib_per_s"], b["ms"],
                                                         b["added_bytes"]))


CASES = {
    "prefix": case_prefix,
    "deferred-end": case_deferred_end,
    "maker-deferred": case_maker_deferred,
    "idle-end": case_idle_end,
    "generic-status": case_generic_status,
    "display": case_display,
    "memory": case_memory,
    "drum-reset": case_drum_reset,
    "faults": case_faults,
    "tcp-matches-emu": case_tcp_matches_emu,
    "bench": case_bench,
}


def main():
    if not os.environ.get("QVL_WINE") or not os.environ.get("QVL_SYSDIR"):
        print("SKIP: run under scripts/wine-env (QVL_WINE, QVL_SYSDIR)")
        return 77
    args = sys.argv[1:]
    if args[0] == "--nt":
        set_mode("nt")
        args = args[1:]
    case, spooler_dir = args[0], args[1]
    if case == "launch":
        case_launch(spooler_dir, args[2])
    elif case in nt_cases.CASES:
        check(nt(), "an NT case runs with --nt")
        nt_cases.CASES[case](spooler_dir)
    else:
        CASES[case](spooler_dir)
    print("%s: %s" % (case, "FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

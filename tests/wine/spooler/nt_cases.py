"""The cases only the NT-family spooler has, run by spooler_cases.py --nt CASE: the job's end
told to the spooler, wide names, identification through the ports' device I/O control codes,
the registry callbacks and Shutdown. Every run is also checked as spool_timeline.py says.
"""
import json
import os
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ipp"))
import ippeve  # noqa: E402

from spool_timeline import (HERE, SCENARIOS, check, checked_run, data_written, index, is_ejected,
                            is_op, is_port, kind, native_qvlprinter, parse_records, spool_command,
                            qvlspool, registry_value, spool, statuses)

# A name outside the ANSI code page, from the command line to the monitor's wide calls and back.
PRINTER = "B\u00fcro \u03a9"
REQUEST_1_TAIL = "@PJL INFO CONFIG\r\n@PJL INFO MEMORY\r\n\x1b%-12345X"
USB_ID, PARALLEL_ID, PARALLEL_RAW_ID = "0x00220034", "0x0016000c", "0x00160030"
MONITOR_MEMBERS = ("OpenPortEx,StartDocPort,WritePort,ReadPort,EndDocPort,ClosePort,"
                   "GetPrinterDataFromPort,Shutdown,SendRecvBidiDataFromPort")


def case_jobs(d):
    """A printer named outside the ANSI code page: a job whose end waits for the printer's
    report and one (level 2, mode 0) that ends at once, each told to the spooler once (SetJobW
    LAST_PAGE_EJECTED for its id) at its real end; the jam reaches the spooler status; memory
    queries with wide value names are answered and kept as printer data; the name reaches
    OpenPrinterW, SetPrinterW and SetJobW intact; a job whose printer the user renames while it
    prints is told its end all the same; so is one of a clustered spooler's virtual server. A
    printer that stops in the middle of a job shows it within 3 s, on a port that would keep a
    stalled write 20 s: the monitor sets the port's write time-out (SetPortTimeOuts).
    The printers are strict PJL: they report a job's end only when asked, for a PJL job. Each
    job's end is told within 2 s of the printer's report of the monitor's own job; the driver's
    job inside it, reported by a printer that reports nested jobs and ending three pages before
    the monitor's, does not end it early. One of the maker's printers, which reports no jobs,
    keeps the job while its paper is out after EndDocPort, and ends it 10 s after it shows ready
    again, long before the idle time-out."""
    r = spool(d, ["--printer", PRINTER, "--page-ms", "200",
                  "--scenario", os.path.join(HERE, "generic-jam.txt"),
                  "start", "--job-id", "31", "memory", "write", "--pages", "4", "end",
                  "wait-idle", "--timeout", "20000",
                  "job", "--pages", "1", "--job-id", "32", "--level", "2", "--mode", "0",
                  "close"])
    report = index(r, lambda x: x["kind"] == "reply" and "END" in x["text"]
                   and 'NAME="QVLLINK 31.1"' in x["text"])
    end31 = index(r, is_op("EndDocPort"))
    told31 = index(r, is_ejected(31))
    check(0 <= end31 < report < told31, "job 31: told after EndDocPort and the printer's report",
          (end31, report, told31))
    check(kind(r, "wait")[0]["met"] == 1, "wait-idle: the lower job ended and the spooler heard")
    start32 = index(r, is_op("StartDocPort", job=32))
    lower32 = index(r, is_port("EndDocPort"), start32)
    end32 = index(r, is_op("EndDocPort"), start32)
    told32 = index(r, is_ejected(32))
    check(0 <= start32 < lower32 < told32 < end32, "job 32: its end told within EndDocPort",
          (start32, lower32, told32, end32))
    check("0x00100088" in statuses(r), "the jam reached SetPrinterW", statuses(r))
    answers = [(x["name"], x.get("value")) for x in kind(r, "op", op="GetPrinterDataFromPort")]
    check(answers == [("Installed Memory", 2097152), ("Available Memory", 1494416)],
          "memory answered for wide value names", answers)
    data = {x["name"]: x["value"] for x in kind(r, "data")}
    check(data == {"Installed Memory": 2097152, "Available Memory": 1494416},
          "kept with SetPrinterDataW", data)
    named = [x["printer"] for x in kind(r, "spooler", call="OpenPrinterW")]
    named += [x["printer"] for x in kind(r, "status") + kind(r, "job-control") + kind(r, "data")]
    check(named and set(named) == {PRINTER} and
          all(x["result"] == 1 for x in kind(r, "spooler", call="OpenPrinterW")),
          "every wide call names the printer as the spooler does", set(named))

    # The user renames the printer while its job prints: the job's end still reaches it.
    r = spool(d, ["--page-ms", "300", "job", "--job-id", "33", "--pages", "3", "rename", "Hall",
                  "wait-idle", "--timeout", "10000", "close"])
    check(kind(r, "rename")[0]["result"] == 1 and
          [x["printer"] for x in kind(r, "job-control")] == ["Hall"],
          "renamed during its job: the end told to the printer under its new name",
          kind(r, "job-control"))

    # A clustered spooler (bLocal FALSE) holds the printers of a virtual server, which it
    # finds only as \\SERVER\NAME.
    r = spool(d, ["--cluster", "NODE7", "--scenario", os.path.join(HERE, "generic-jam.txt"),
                  "--page-ms", "100", "job", "--job-id", "34", "--pages", "3",
                  "wait-idle", "--timeout", "10000", "close"])
    opened = kind(r, "spooler", call="OpenPrinterW")
    check(opened and all(x["result"] == 1 for x in opened) and
          "0x00100088" in statuses(r) and kind(r, "job-control"),
          "clustered: the printer opened on its server, its status set, its job's end told",
          (opened, statuses(r)))

    # Paper runs out in the middle of a job whose data the printer can no longer take; the port
    # keeps a stalled write 20 s unless the monitor sets a shorter time-out.
    r = spool(d, ["--port", "emu:QV-L3820", "--page-ms", "100", "--write-timeout", "3000",
                  "--scenario", os.path.join(HERE, "qvl3820-41003.txt"),
                  "start", "--job-id", "35", "write", "--pages", "20", "remedy", "end",
                  "wait", "500", "close"])
    stop = index(r, lambda x: x["kind"] == "printer" and x["event"] == "condition")
    shown = index(r, lambda x: x["kind"] == "status" and x["status"] == "0x00100010")
    set_timeouts = kind(r, "port", call="SetPortTimeOuts")
    check(set_timeouts and set_timeouts[0]["write_ms"] <= 1000, "a short write time-out set",
          set_timeouts)
    check(0 <= stop < shown and r[shown]["t"] - r[stop]["t"] < 3000,
          "paper out in the spooler status within 3 s of the printer's stop",
          (r[stop]["t"] if stop >= 0 else None, r[shown]["t"] if shown >= 0 else None))

    # Named jobs on strict printers: one that reports nested jobs too, job 41 carrying three
    # pages after the driver's own job's EOJ; a maker's printer whose paper runs out after the
    # job's data is in.
    more_pages = r"\e%-12345X@PJL ENTER LANGUAGE=PCL\r\n\eE p\f\eE q\f\eE r\f\e%-12345X"
    nested = spool(d, ["--nested-job-reports", "--page-ms", "300",
                       "start", "--job-id", "41", "write", "--pages", "1",
                       "write", "--text", more_pages, "end", "wait-idle", "--timeout", "15000",
                       "job", "--job-id", "42", "--pages", "2", "wait-idle", "--timeout", "15000",
                       "close"])
    maker = spool(d, ["--port", "emu:QV-L3820", "--page-ms", "300",
                      "--scenario", os.path.join(SCENARIOS, "qvl3820-paper-out.txt"),
                      "job", "--job-id", "43", "--pages", "6", "wait-idle", "--timeout", "30000",
                      "close"])
    check_named_jobs(nested, maker)


def printer_job_end(name):
    """The emulated printer's event of the end of the named PJL job (its report queued)."""
    return lambda x: x["kind"] == "printer" and x["event"] == "job-end" and x["detail"] == name


def check_told_after_report(r, job, name, within_ms=2000):
    """The job's end told to the spooler after, and within within_ms of, the printer's report of
    the named job; returns the time from the report to the SetJobW (or None)."""
    report, told = index(r, printer_job_end(name)), index(r, is_ejected(job))
    check(0 <= report < told, "job %d: told after the printer's report of %s" % (job, name),
          (report, told))
    if report < 0 or told < 0:
        return None
    ms = r[told]["t"] - r[report]["t"]
    check(ms <= within_ms, "job %d: told within %d ms of the report" % (job, within_ms), ms)
    return ms


def check_named_jobs(r_nested, r_maker):
    """The checks of case_jobs' runs of named jobs (see there)."""
    waits = []
    # Job 41: the driver's job ends after its first page, the monitor's three pages later.
    inner = index(r_nested, printer_job_end("MSJOB 41"))
    waits.append(check_told_after_report(r_nested, 41, "QVLLINK 41.1"))
    outer = index(r_nested, printer_job_end("QVLLINK 41.1"))
    lower = [i for i, x in enumerate(r_nested) if is_port("EndDocPort")(x)]
    check(0 <= inner < outer and lower and inner < lower[0] and lower[0] > outer,
          "the driver's own job's end did not end job 41", (inner, outer, lower))
    waits.append(check_told_after_report(r_nested, 42, "QVLLINK 42.2"))
    # The maker's printer: paper out after EndDocPort keeps the job; ready again, 10 s later
    # it ends, far inside the idle time-out (IdleTimeout4L, 3 minutes).
    end_op = index(r_maker, is_op("EndDocPort"))
    out = index(r_maker, lambda x: x["kind"] == "printer" and x["event"] == "condition")
    ready = index(r_maker, lambda x: x["kind"] == "printer" and x["event"] == "remedy")
    told = index(r_maker, is_ejected(43))
    check(0 <= end_op < out < ready < told, "job 43: paper out after EndDocPort, told after the "
          "printer showed ready again", (end_op, out, ready, told))
    if min(ready, told) >= 0:
        ms = r_maker[told]["t"] - r_maker[ready]["t"]
        check(10000 <= ms <= 16000, "job 43: told 10 s after ready (with the reads' pauses, "
              "within 16 s)", ms)
        waits.append(ms)
    print("report to LAST_PAGE_EJECTED: job 41 %s ms, job 42 %s ms; maker's ready to it: %s ms"
          % tuple(waits + [None] * (3 - len(waits))))


def case_identify(d):
    """The device ID through the ports' device I/O control codes. A USB port answers the length
    (two bytes, counting themselves) and the ID: a QV-L3820's ID of more than 1024 bytes comes
    cut to the monitor's buffer and, its model field first, still identifies the printer (the
    maker's memory request goes out). A parallel port fails the USB code and answers its own;
    a network port answers neither: no PJL goes to that printer."""
    long_id = "MDL:QV-L3820;MFG:Zemblaxon;CMD:PJL;DES:" + "x" * 1100 + ";"
    r = spool(d, ["--port", "emu:QV-L3820", "--device-id", long_id,
                  "start", "memory", "write", "--pages", "1", "end", "close"])
    usb = kind(r, "port", call="GetPrinterDataFromPort")
    whole = len(long_id) + 2
    check(usb and usb[0]["control"] == USB_ID and usb[0]["result"] == 1 and
          usb[0]["answer"][:2] == chr(whole >> 8) + chr(whole & 0xFF) and
          usb[0]["answer"][2:].startswith(long_id[:900]) and
          len(usb[0]["answer"]) + usb[0].get("cut", 0) < whole,
          "USB: the whole ID's length, the ID cut to the buffer", usb[:1])
    check(any(REQUEST_1_TAIL in x["bytes"] for x in kind(r, "write", **{"from": "monitor"})),
          "the cut ID identifies the QV-L3820: the maker's memory request")
    installed = [x["value"] for x in kind(r, "data", name="Installed Memory")]
    check(installed and set(installed) == {3982304 + 212000}, "its memory as the QV-L3820's",
          installed)

    generic = "MFG:Generic;MDL:PageWriter 4;CMD:PJL;"
    for port_kind, answered in (("parallel", [PARALLEL_ID, PARALLEL_RAW_ID]), ("network", [])):
        r = spool(d, ["--port-kind", port_kind, "start", "device-id", "--control", PARALLEL_RAW_ID,
                      "write", "--pages", "1", "end", "wait-idle", "close"])
        asked = kind(r, "port", call="GetPrinterDataFromPort")
        check([x["control"] for x in asked if x["result"] == 1] == answered and
              asked and asked[0]["control"] == USB_ID and asked[0]["result"] == 0,
              port_kind + ": which codes the port answers", asked)
        identified = bool(kind(r, "write", **{"from": "monitor"}))
        check(identified == bool(answered), port_kind + ": PJL only to an identified printer")
        if answered and len(asked) == 3:
            raw = "\x00%c%s\x00" % (len(generic) + 2, generic)
            check(asked[0]["error"] == 87 and asked[1]["answer"] == generic + "\x00" and
                  asked[2]["answer"] == raw, "parallel: the ID and a NUL; raw: with its length",
                  asked)


def case_lifecycle(d):
    """The monitor's life under the spooler: InitializePrintMonitor2 fills a language monitor's
    members only; with every registry callback failing it keeps its default time-outs (an
    IdleTimeout4L of 1500 ms in its key is not read: the QV-L3820's job end still waits after
    4 s) and jobs still work; Shutdown in the middle of a job (no EndDocPort) returns within a
    second, tells the spooler the job's end and leaves no printer handle open; so does
    Shutdown 3 s after a job, with the status thread draining."""
    root = "SOFTWARE\\QVL Test\\NT Failing Registry"
    with registry_value(root, "IdleTimeout4L", 1500):
        r = spool(d, ["--port", "emu:QV-L3820", "--registry-root", root, "--fail-registry",
                      "job", "--pages", "2", "wait-idle", "--timeout", "4000", "close"])
    init = kind(r, "op", op="InitializePrintMonitor2")
    check(init and init[0]["result"] == 1 and init[0]["members"] == MONITOR_MEMBERS,
          "a language monitor's members, the rest NULL", init)
    calls = kind(r, "registry")
    check(calls and all(x["result"] == 5 for x in calls), "every callback failed", calls)
    check(kind(r, "wait")[0]["met"] == 0, "the default idle time-out, not the key's")
    check(data_written(r) == [(b, b) for _, b in data_written(r)] and
          kind(r, "op", op="ClosePort")[0]["result"] == 1, "the job still went through")

    r = spool(d, ["--port", "emu:QV-L3820", "--page-ms", "300",
                  "start", "--job-id", "41", "write", "--pages", "3", "shutdown"])
    check(not kind(r, "op", op="EndDocPort") and not kind(r, "op", op="ClosePort"),
          "Shutdown came in the middle of the job")
    check(index(r, is_ejected(41)) < index(r, is_op("Shutdown")), "its end told before "
          "Shutdown returned")
    check(r[-1]["printer_handles"] == 0, "no printer handle left open", r[-1])

    # After a job the maker's printer drains: its thread pauses between reads, and stopping
    # wakes it (Shutdown's own checks are spool_timeline's).
    r = spool(d, ["--port", "emu:QV-L3820", "job", "--job-id", "42", "--pages", "1",
                  "wait", "3000", "shutdown"])
    check(r[-1]["printer_handles"] == 0, "after a job: no printer handle left open", r[-1])


def case_printers(d):
    """Printers of one spooler process, each on its port. A QV-L3820 and a QV-L3470 whose toner
    runs low: each code published as its printer's Status carries its own model, and the QV-L3470's
    toner code is shown after the QV-L3820's (a repeat only of its own printer's code). A port
    whose EndDocPort takes 5 s (the end of a job the printer reported, made by the status
    thread) holds up no other port's OpenPortEx, StartDocPort or EndDocPort. (Job ids are the
    spooler's, one numbering for all its printers.)"""
    toner = os.path.join(HERE, "qvl-toner-low.txt")
    r = spool(d, ["--watch-display", "--page-ms", "50",
                  "port", "emu:QV-L3820", "--printer", "Office", "--scenario", toner,
                  "job", "--pages", "2", "wait-status", "0x00020000", "--timeout", "6000",
                  "port", "emu:QV-L3470", "--printer", "Hall", "--scenario", toner,
                  "job", "--job-id", "2", "--pages", "2", "wait-status", "0x00020000", "--timeout", "6000",
                  "close", "port", "emu:QV-L3820", "close"])
    codes = [(x["printer"], x["code"], x["model"]) for x in published(r)]
    check(codes == [("Office", 40556, 3820), ("Hall", 40556, 3470)],
          "each printer's toner code published, with its own model", codes)

    r = spool(d, ["port", "emu:generic", "--printer", "Slow", "--end-doc-ms", "5000",
                  "job", "--pages", "1", "wait", "1000",
                  "port", "emu:QV-L3820", "--printer", "Office", "job", "--job-id", "2",
                  "--pages", "1", "wait", "5000"])
    slow_end = [i for i, x in enumerate(r) if is_port("EndDocPort")(x) and x["port"] ==
                "emu:generic"]
    other = [x for x in kind(r, "op") if x.get("port") == "emu:QV-L3820" and
             x["op"] in ("OpenPortEx", "StartDocPort", "EndDocPort")]
    check(slow_end and r[slow_end[0]]["t"] >= 4000 and len(other) == 3,
          "the other port's calls came while the slow EndDocPort ran", (slow_end, other))
    check(all(x["result"] == 1 and x["ms"] < 300 for x in other),
          "... and none waited for it", [(x["op"], x["ms"]) for x in other])


class Stamped:
    """A program's output lines as they come, each with the time it came (time.monotonic())."""

    def __init__(self, cmd, env=None):
        self.lines = []
        self.process = subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def read(self):
        for line in self.process.stdout:
            self.lines.append((time.monotonic(), line))

    def first(self, text, timeout=20):
        until = time.monotonic() + timeout
        while time.monotonic() < until:
            for at, line in list(self.lines):
                if text in line.decode("latin-1"):
                    return at, line.decode("latin-1")
            time.sleep(0.02)
        return None, None


def network_printer(scenario, page_ms=300):
    """The emulated QV-L3820 with its raw port and its IPP face: (server, raw port, IPP port)."""
    server = Stamped([native_qvlprinter(), "--model", "QV-L3820", "--page-ms", str(page_ms), "--log",
                      "--scenario", scenario, "--ipp", "0", "0"])
    _, ipp = server.first("ipp on 127.0.0.1:")
    _, raw = server.first("listening on 127.0.0.1:")
    return server, int(raw.rsplit(":", 1)[1]), int(ipp.rsplit(":", 1)[1])


def case_network(d):
    """A network printer: the jobs go to the emulated QV-L3820's raw TCP port while its status
    comes from its IPP face, at the address given for the port under the monitor's key. The
    printer, whose port reports no device ID, is identified through printer-device-id; it runs
    out of paper in the middle of a job: paper out reaches the spooler status, and the printer's
    published Status with the printer's model, within 3 s of the printer's stop, and clears when the paper
    is in; a jam and an open door follow it there. No PJL goes to it, and the job's end is told
    at EndDocPort. A port whose IPP address refuses (a closed port) and one that answers
    nothing: the job prints with no delay. Then a printer nobody here wrote (ippeveprinter, as a
    QV-L3820, where it can run) gives the status of the emulated printer's jobs: its tray
    emptied and its toner lowered through its web forms reach the spooler status and the Status
    within 3 s, and filling them again clears them."""
    root = "SOFTWARE\\QVL Test\\Network"
    server, raw, ipp = network_printer(os.path.join(HERE, "qvl3820-network.txt"))
    port = "tcp:127.0.0.1:%d" % raw
    reg = [os.environ["QVL_WINE"], "reg"]
    try:
        with registry_value(root, "IdleTimeout4L", 60000):  # asked on for a minute after the job
            subprocess.run(reg + ["add", "HKLM\\" + root + "\\Ports", "/v", port, "/d",
                                  "ipp://127.0.0.1:%d/ipp/print" % ipp, "/f"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            cmd, env = spool_command(d, ["--registry-root", root, "--watch-display", "--port",
                                         port, "--printer", "Office QV-L3820",
                                         "job", "--job-id", "51", "--pages", "10",
                                         "wait-status", "0x00100010", "--timeout", "20000",
                                         "wait-status", "0x00500000", "--timeout", "20000",
                                         "wait-status", "0", "--timeout", "20000", "close"])
            spooler = Stamped(cmd, env)
            spooler.process.wait(timeout=120)
            spooler.reader.join(timeout=10)
    finally:
        server.process.terminate()
        server.process.wait(timeout=10)
    out = b"".join(line for _, line in spooler.lines)
    r = checked_run(spooler.process.returncode, parse_records(out),
                    spooler.process.stderr.read().decode("latin-1"))
    stopped, _ = server.first("condition       41104", timeout=1)
    shown = [at for at, line in spooler.lines if b'"status":"0x00100010"' in line]
    check(stopped is not None and shown and shown[0] - stopped < 3.0,
          "paper out in the spooler status within 3 s of the printer's stop",
          (stopped, shown[:1]))
    if stopped is not None and shown:
        print("network: paper out in the spooler status %d ms after the printer stopped" %
              ((shown[0] - stopped) * 1000))
    codes = [(x["code"], x["model"]) for x in published(r)]
    for code, what in ((41104, "paper out"), (40022, "the jam"), (40021, "the open door")):
        check((code, 3820) in codes, what + " published, with the model the printer told over "
              "IPP", codes)
    after = statuses(r)[statuses(r).index("0x00100010"):] if "0x00100010" in statuses(r) else []
    check("0x00000000" in after, "cleared when the paper was in", statuses(r))
    check(not any("@PJL" in x.get("text", "") for x in kind(r, "write")),
          "no PJL to a printer identified over IPP only")
    end = index(r, is_op("EndDocPort"))
    check(0 <= index(r, is_ejected(51)) <= end + 1, "the job's end told at EndDocPort")

    # Printers that answer nothing (a port that takes connections and never answers) or refuse
    # (a closed port): the jobs print as fast as without status.
    silent = socket_listening()
    for what, address in (("silent", "ipp://127.0.0.1:%d/ipp/print" % silent.getsockname()[1]),
                          ("closed", "ipp://127.0.0.1:1/ipp/print")):
        server, raw, _ = network_printer(os.path.join(SCENARIOS, "qvl3470-warmup-toner.txt"))
        port = "tcp:127.0.0.1:%d" % raw
        try:
            subprocess.run(reg + ["add", "HKLM\\" + root + "\\Ports", "/v", port, "/d",
                                  address, "/f"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            r = spool(d, ["--registry-root", root, "--port", port, "job", "--job-id", "52",
                          "--pages", "2", "close"])
        finally:
            server.process.terminate()
            server.process.wait(timeout=10)
            subprocess.run(reg + ["delete", "HKLM\\" + root, "/f"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        # (The stand-in's tcp: port lingers 1 s in its EndDocPort for the printer's last words.)
        ops = {x["op"]: x["ms"] for x in kind(r, "op") if "ms" in x}
        slow = {k: v for k, v in ops.items() if v >= (1500 if k == "EndDocPort" else 500)}
        check(not slow, what + ": no spooler call waited for the printer's status", ops)
    silent.close()
    simulated_network_printer(d, root)


def simulated_network_printer(d, root):
    sim = ippeve.start()
    if sim is None:
        return
    server, raw, _ = network_printer(os.path.join(SCENARIOS, "qvl3470-warmup-toner.txt"),
                                     page_ms=100)
    port = "tcp:127.0.0.1:%d" % raw
    reg = [os.environ["QVL_WINE"], "reg"]
    stamps = {}
    try:
        subprocess.run(reg + ["add", "HKLM\\" + root + "\\Ports", "/v", port, "/d", sim.uri(),
                              "/f"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)
        cmd, env = spool_command(d, ["--registry-root", root, "--watch-display", "--port", port,
                                     "--printer", "Hall QV-L3820", "job", "--job-id", "53",
                                     "--pages", "20", "wait-status", "0x00000010",
                                     "--timeout", "20000", "wait-status", "0",
                                     "--timeout", "20000", "close"])
        spooler = Stamped(cmd, env)
        spooler.first('"op":"StartDocPort"')
        time.sleep(1.0)
        sim.load(sheets=0, toner=3)
        stamps["emptied"] = time.monotonic()
        spooler.first('"status":"0x00000010"')
        time.sleep(1.0)
        sim.load(sheets=250, toner=75)
        stamps["filled"] = time.monotonic()
        spooler.process.wait(timeout=60)
        spooler.reader.join(timeout=10)
    finally:
        server.process.terminate()
        server.process.wait(timeout=10)
        sim.stop()
        subprocess.run(reg + ["delete", "HKLM\\" + root, "/f"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    out = b"".join(line for _, line in spooler.lines)
    r = checked_run(spooler.process.returncode, parse_records(out),
                    spooler.process.stderr.read().decode("latin-1"))
    codes = [(x["code"], x["model"]) for x in published(r)]
    check((40556, 3820) in codes and (11104, 3820) in codes,
          "the simulator's emptied A4 tray and low toner published, as a QV-L3820's", codes)
    out_at = [at for at, line in spooler.lines if b'"status":"0x00000010"' in line]
    in_at = [at for at, line in spooler.lines if b'"status":"0x00000000"' in line and
             at > stamps.get("filled", 1e12)]
    check(out_at and out_at[0] - stamps.get("emptied", 0) < 3.0,
          "the emptied tray in the spooler status within 3 s", (stamps, out_at[:1]))
    check(in_at and in_at[0] - stamps["filled"] < 3.0,
          "the filled tray and toner clear it within 3 s", (stamps, in_at[:1]))
    if out_at and in_at:
        print("network: the simulator's tray in the spooler status %d ms after it was emptied, "
              "cleared %d ms after it was filled" % ((out_at[0] - stamps["emptied"]) * 1000,
                                                     (in_at[0] - stamps["filled"]) * 1000))


def case_readers(d):
    """A user's program in another process reads the stand-in's printers through winspool.drv,
    as the display program does. A drum reset request is refused where the user may not manage
    the printer; one written in one run is printer data the next run finds. Local printers and a connection are listed (the strings packed in the
    caller's buffer, a small buffer told the size needed); a printer denied its use is listed
    but not opened, nor opened to manage; a printer opened to use cannot take printer data,
    one opened through the connection to manage can; a data write signals no change
    notification, a job's start does, and the job is listed with its owner, machine and
    document. Once qvlspool has ended, or has been killed, every call fails as with a stopped
    spooler (RPC_S_SERVER_UNAVAILABLE)."""
    reader = [os.environ["QVL_WINE"], os.path.join(d, "spool_reader.exe")]
    key, drum = "QVL Status Display", "Drum Reset"
    code, r, err = qvlspool(d, ["--direct", "--printer", "Office", "port", "emu:QV-L3470",
                                "--printer", "Hall", "--deny", "administer", "drum-reset",
                                "--sequence", "3", "port", "emu:generic", "drum-reset",
                                "--sequence", "7"])
    asked = [(x["printer"], x["result"], x.get("call"), x.get("error"))
             for x in kind(r, "drum-request")]
    check(code == 0 and asked == [("Hall", 0, "OpenPrinterW", 5), ("Office", 1, None, None)],
          "a drum reset request refused where managing is denied, written elsewhere",
          (code, asked, err))

    cmd, env = spool_command(d, ["--direct", "--printer", "Office", "--connection",
                                 "\\\\PRINTSRV\\Office", "port", "emu:QV-L3470", "--printer",
                                 "Hall", "--deny", "use,administer", "wait", "6000"])
    spooler = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    got = reader_lines(reader + ["await", "Office", "20000", "enum", "6", "4", "enum", "2", "2",
                                 "open", "Nowhere", "use", "open", "Hall", "use",
                                 "open", "Hall", "administer",
                                 "open", "\\\\PRINTSRV\\Office", "administer", "get", key, drum,
                                 "watch", "0xffffffff", "set", key, drum, "9", "wait", "1000",
                                 "open", "Office", "use", "set", key, drum, "10",
                                 "gone", "20000", "get", key, drum, "open", "Office", "use"], env)
    spooler.wait(timeout=60)
    listed = got.get("EnumPrintersW", [])
    both = [(p["name"], p["server"], p["attributes"], p["packed"])
            for p in (listed[0].get("printers", []) if listed else [])]
    check(sorted(both) == [("Hall", None, 64, 1), ("Office", None, 64, 1),
                           ("\\\\PRINTSRV\\Office", "\\\\PRINTSRV", 16, 1)] and
          all(x["first_error"] == 122 and x["needed"] > 0 for x in listed),
          "local printers (the one denied its use too) and the connection", listed)
    opened = [(x["name"], x["access"], x.get("error", 0)) for x in got.get("OpenPrinterW", [])]
    check(opened[:5] == [("Nowhere", "use", 1801), ("Hall", "use", 5), ("Hall", "administer", 5),
                         ("\\\\PRINTSRV\\Office", "administer", 0), ("Office", "use", 0)],
          "unknown, denied, and opened through the connection", opened)
    reads = [(x.get("value"), x["first_error"], x.get("error", 0))
             for x in got.get("GetPrinterDataExW", [])]
    check(reads == [(7, 234, 0), (None, 1722, 1722)], "the request left by the run before, then "
          "no spooler", reads)
    writes = [x.get("error", 0) for x in got.get("SetPrinterDataExW", [])]
    check(writes == [0, 5], "written through a handle to manage; refused to one to use", writes)
    waited = got.get("FindNextPrinterChangeNotification", [{}])[0]
    check(got.get("FindFirstPrinterChangeNotification", [{}])[0].get("result") == 1 and
          waited.get("signalled") == 0, "a printer data write signals no change", waited)
    check([x["result"] for x in got.get("gone", [])] == [1] and
          opened[5:] == [("Office", "use", 1722)], "the spooler ended: no printer", opened)

    # A job's start signals its printer's watchers; then the spooler is killed.
    cmd, env = spool_command(d, ["--printer", "Office", "--page-ms", "100", "wait", "4000",
                                 "start", "--job-id", "61", "--document", "Quarterly report",
                                 "--owner", "alice", "--machine", "\\\\DESK7",
                                 "write", "--pages", "1", "wait", "30000", "end", "close"])
    spooler = Stamped(cmd, env)
    program = Stamped(reader + ["await", "Office", "20000", "open", "Office", "default",
                                "watch", "0xff00", "wait", "15000", "jobs", "gone", "20000",
                                "get", key, drum], env)
    program.first('"EnumJobsW"', timeout=40)
    spooler.process.kill()
    spooler.process.wait(timeout=30)
    program.process.wait(timeout=60)
    got = reader_results(program.lines)
    waited = got.get("FindNextPrinterChangeNotification", [{}])[0]
    check(waited.get("signalled") == 1 and waited.get("changes") == 0x100,
          "the job's start signalled PRINTER_CHANGE_ADD_JOB", waited)
    jobs = got.get("EnumJobsW", [{}])[0].get("jobs")
    check(jobs == [{"id": 61, "position": 1, "status": 16, "pages": 0, "printer": "Office",
                    "machine": "\\\\DESK7", "user": "alice", "document": "Quarterly report"}],
          "the job listed with its owner", jobs)
    check([x["result"] for x in got.get("gone", [])] == [1] and
          [x.get("error") for x in got.get("GetPrinterDataExW", [])] == [1722],
          "the spooler killed: its handles fail as with a stopped spooler", got.get("gone"))


def reader_lines(cmd, env):
    """Runs spool_reader; its lines by call."""
    out = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         timeout=120)
    return reader_results([(0, line) for line in out.stdout.splitlines()])


def reader_results(lines):
    got = {}
    for _, line in lines:
        line = line.decode("latin-1").strip() if isinstance(line, bytes) else line
        if line.startswith("{"):
            x = json.loads(line)
            got.setdefault(x["call"], []).append(x)
    return got


def published(r):
    """The codes the monitor published as its printers' Status printer data (code 0: none)."""
    return [x for x in kind(r, "session", what="status") if x.get("code")
            and not x.get("thread_ended")]


def socket_listening():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    s.listen(8)
    return s


CASES = {
    "jobs": case_jobs,
    "identify": case_identify,
    "lifecycle": case_lifecycle,
    "printers": case_printers,
    "network": case_network,
    "readers": case_readers,
}

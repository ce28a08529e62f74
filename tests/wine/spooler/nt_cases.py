"""The cases only the NT-family spooler has, run by spooler_cases.py --nt CASE: the job's end
told to the spooler, wide names, identification through the ports' device I/O control codes,
the registry callbacks and Shutdown. Every run is also checked as spool_timeline.py says.
"""
import os

from spool_timeline import (HERE, check, data_written, index, is_ejected, is_op, is_port, kind,
                            registry_value, spool, statuses)

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
    stalled write 20 s: the monitor sets the port's write time-out (SetPortTimeOuts)."""
    r = spool(d, ["--printer", PRINTER, "--page-ms", "200",
                  "--scenario", os.path.join(HERE, "generic-jam.txt"),
                  "start", "--job-id", "31", "memory", "write", "--pages", "4", "end",
                  "wait-idle", "--timeout", "20000",
                  "job", "--pages", "1", "--job-id", "32", "--level", "2", "--mode", "0",
                  "close"])
    report = index(r, lambda x: x["kind"] == "reply" and "END" in x["text"]
                   and 'NAME="MSJOB 31"' in x["text"])
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
    runs low: each code on the status board carries its own printer's model, and the QV-L3470's
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
    codes = [(x["printer"], x["code"], x["model"]) for x in kind(r, "board", what="code")]
    check(codes == [("Office", 40556, 3820), ("Hall", 40556, 3470)],
          "each printer's toner code on the board, with its own model", codes)

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


CASES = {
    "jobs": case_jobs,
    "identify": case_identify,
    "lifecycle": case_lifecycle,
    "printers": case_printers,
}

#!/usr/bin/env python3
"""The time from a network printer's stop to the spooler status, under Wine: qvlspool --nt sends a
long job to the emulated QV-L3820's raw port while the monitor asks the printer's IPP face for its
status. The printer runs out of paper again and again (in the job), then opens its door again and
again (after the job, while the status thread asks at its idle rate). Each stop is stamped as the
printer logs it, each spooler status as qvlspool records it; p50, p99 and the worst are printed
per case as one JSON line. Each stop lasts 2.5 s, longer than the thread's 2 s between questions,
and the printer prints for 3 s between stops, so that every stop and every recovery is seen (a
shorter one may come and go between two questions).

  network_wait.py SPOOLER_DIR [--stops N]      (needs the environment of scripts/wine-env)
"""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "wine", "spooler"))
from nt_cases import Stamped, network_printer  # noqa: E402
from spool_timeline import set_mode, spool_command  # noqa: E402


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100.0 * (len(values) - 1))))]


def main():
    spooler_dir = sys.argv[1]
    stops = int(sys.argv[sys.argv.index("--stops") + 1]) if "--stops" in sys.argv else 20
    set_mode("nt")
    gap = 30  # pages between stops: 3 s of printing, longer than the 2 s between questions
    pages = gap * stops + 2
    lines = []
    for n in range(stops):  # in the job: paper out every 30 pages, in again 2.5 s later
        lines += ["after-page %d paper-out tray=1 size=4" % (gap * n + 2), "remedy after=2500ms"]
    idle_stops = min(stops, 8)
    job_end_s = pages * 0.1 + stops * 2.5 + 3
    for n in range(idle_stops):  # after the job: the door, open for 2.5 s, every 5 s
        lines += ["at %dms door-open" % int((job_end_s + 5 * n) * 1000), "remedy after=2500ms"]
    scenario = tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False)
    scenario.write("\n".join(lines) + "\n")
    scenario.close()
    root = "SOFTWARE\\QVL Bench\\Network"
    reg = [os.environ["QVL_WINE"], "reg"]
    server, raw, ipp = network_printer(scenario.name, page_ms=100)
    port = "tcp:127.0.0.1:%d" % raw
    try:
        subprocess.run(reg + ["add", "HKLM\\" + root + "\\Ports", "/v", port, "/d",
                              "ipp://127.0.0.1:%d/ipp/print" % ipp, "/f"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        wait_ms = int((job_end_s + 5 * idle_stops + 2) * 1000)
        cmd, env = spool_command(spooler_dir, ["--registry-root", root, "--port", port,
                                               "--printer", "Bench QV-L3820", "job", "--pages",
                                               str(pages), "wait", str(wait_ms), "close"])
        spooler = Stamped(cmd, env)
        spooler.process.wait(timeout=wait_ms / 1000 + 120)
        spooler.reader.join(timeout=10)
    finally:
        server.process.terminate()
        server.process.wait(timeout=10)
        subprocess.run(reg + ["delete", "HKLM\\" + root, "/f"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        os.unlink(scenario.name)
    conditions = [(at, line.decode("latin-1")) for at, line in server.lines
                  if b" condition " in line]
    statuses = [(at, json.loads(line)["status"]) for at, line in spooler.lines
                if line.startswith(b"{") and b'"kind":"status"' in line]
    results = {}
    for case, code, status in (("in a job", "41104", "0x00100010"),
                               ("between jobs", "40021", "0x00500000")):
        waits = []
        for at, line in conditions:
            if code not in line:
                continue
            later = [s_at for s_at, s in statuses if s_at >= at and s == status]
            if later:
                waits.append((later[0] - at) * 1000)
        if waits:
            results[case] = {"stops": len(waits), "p50_ms": round(percentile(waits, 50)),
                             "p99_ms": round(percentile(waits, 99)), "max_ms": round(max(waits))}
        else:
            results[case] = {"stops": 0}
    print(json.dumps(results))
    return 0


if __name__ == "__main__":
    sys.exit(main())

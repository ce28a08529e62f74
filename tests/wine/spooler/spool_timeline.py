"""Running qvlspool under Wine and reading its timeline, for spooler_cases.py and nt_cases.py.

A run is in one of two modes, set once per process with set_mode(): "win95" (the Windows 95
generation's spooler, as qvlspool runs by default) or "nt" (qvlspool --nt: InitializePrintMonitor2,
MONITOR2, wide names). In NT mode every run is also checked for what the NT-family spooler needs
of a language monitor whatever the case: each job the spooler started hears its end exactly once
(SetJobW JOB_CONTROL_LAST_PAGE_EJECTED for that job id, after the job's data), and Shutdown at
the run's end returns within a second, with every port closed at the port monitor, after which
the monitor makes no registry callback and calls no printer function.
"""
import contextlib
import glob
import json
import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
SCENARIOS = os.path.join(ROOT, "host", "printer", "scenarios")
LAST_PAGE_EJECTED = 7  # JOB_CONTROL_LAST_PAGE_EJECTED
SHUTDOWN_MS = 1000
failures = []
_mode = {"nt": False}


def set_mode(mode):
    _mode["nt"] = mode == "nt"


def nt():
    return _mode["nt"]


def wide(call):
    """The name of an ANSI spooler function in this mode: OpenPrinterA is OpenPrinterW on NT."""
    return call[:-1] + "W" if nt() and call.endswith("A") else call


def check(cond, what, detail=None):
    if not cond:
        failures.append(what)
        print("FAIL: %s%s" % (what, "" if detail is None else ": %r" % (detail,)))


def spool_command(spooler_dir, args, env_extra=None):
    """The command line and environment of qvlspool --json ARGS (with --nt in NT mode)."""
    env = dict(os.environ, WINEDLLOVERRIDES="winspool.drv=n")
    if nt():
        # Names outside the ANSI code page reach Wine's command line only from a UTF-8 locale.
        env["LC_ALL"] = "C.UTF-8"
    env.update(env_extra or {})
    lead = args[:1] if args[:1] == ["bench"] else []  # a word that must come first
    cmd = [os.environ["QVL_WINE"], os.path.join(spooler_dir, "qvlspool.exe")] + lead + ["--json"]
    # The Windows 95 prefix asks for no job reports: its printers report jobs unasked, as they
    # did before printers became strict.
    cmd += (["--nt"] if nt() else ["--lenient-job-reports"]) + args[len(lead):]
    return cmd, env


def parse_records(stdout):
    """The timeline records in qvlspool's output (bytes)."""
    records = []
    for line in stdout.decode("latin-1").splitlines():
        line = line.strip()
        if line.startswith("{"):
            records.append(json.loads(line))
    return records


def qvlspool(spooler_dir, args, env_extra=None, timeout=240):
    """Runs qvlspool --json ARGS (with --nt in NT mode); returns (exit code, records, stderr)."""
    cmd, env = spool_command(spooler_dir, args, env_extra)
    out = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         timeout=timeout)
    return out.returncode, parse_records(out.stdout), out.stderr.decode("latin-1")


def checked_run(code, records, stderr):
    """A run's records, checked: it ran to its end, and (NT) as check_nt_run says."""
    if code != 0 or not records or records[-1]["kind"] != "end":
        print(stderr)
        check(False, "qvlspool ran to its end (exit %d)" % code)
    if nt():
        check_nt_run(records)
    return records


def spool(spooler_dir, args, env_extra=None):
    """Runs qvlspool --json ARGS; returns the timeline records."""
    return checked_run(*qvlspool(spooler_dir, args, env_extra))


def start_spool(spooler_dir, args):
    """Starts qvlspool --json ARGS in the background; finish_spool() collects its records."""
    cmd, env = spool_command(spooler_dir, args)
    return subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def finish_spool(process, timeout=120):
    """Waits for a qvlspool of start_spool(); returns its records, checked as spool() does."""
    out, err = process.communicate(timeout=timeout)
    return checked_run(process.returncode, parse_records(out), err.decode("latin-1"))


def check_nt_run(r):
    """Every started job's end told once, after its data; a quick Shutdown, then no registry."""
    starts = [(i, x["job"]) for i, x in enumerate(r) if is_op("StartDocPort")(x)
              and x["result"] == 1]
    for n, (i, job) in enumerate(starts):
        following = starts[n + 1][0] if n + 1 < len(starts) else len(r)
        ejects = [k for k, x in enumerate(r) if x["kind"] == "job-control" and x["job"] == job
                  and x["command"] == LAST_PAGE_EJECTED]
        check(len(ejects) == 1, "job %d: one SetJobW LAST_PAGE_EJECTED" % job,
              [r[k] for k in ejects])
        if ejects:
            data = [k for k in range(i, following) if r[k]["kind"] == "written"]
            check(ejects[0] > max([i] + data) and r[ejects[0]]["result"] == 1,
                  "job %d: told after its data, and the spooler had the job" % job, r[ejects[0]])
    shutdown = [k for k, x in enumerate(r) if is_op("Shutdown")(x)]
    check(len(shutdown) == 1, "one Shutdown", len(shutdown))
    if shutdown:
        check(r[shutdown[0]]["ms"] < SHUTDOWN_MS, "Shutdown returns within a second",
              r[shutdown[0]]["ms"])
        late = [x for x in r[shutdown[0]:] if x["kind"] in
                ("registry", "spooler", "status", "data", "job-control", "session")]
        check(not late, "no registry callback or printer call after Shutdown", late)
        before = r[:shutdown[0]]
        opened = len([x for x in before if is_port("OpenPort")(x) and x["result"] == 1])
        closed = len(kind(before, "port", call="ClosePort"))
        check(opened == closed, "every port closed at the port monitor before Shutdown returns",
              (opened, closed))


def kind(records, k, **match):
    return [r for r in records if r["kind"] == k and all(r.get(a) == v for a, v in match.items())]


def index(records, pred, start=0):
    for i in range(start, len(records)):
        if pred(records[i]):
            return i
    return -1


def is_op(name, **match):
    return lambda r: r["kind"] == "op" and r["op"] == name and all(
        r.get(a) == v for a, v in match.items())


def is_port(call):
    return lambda r: r["kind"] == "port" and r["call"] == call


def is_ejected(job):
    return lambda r: (r["kind"] == "job-control" and r["job"] == job
                      and r["command"] == LAST_PAGE_EJECTED)


def job_bytes(records):
    return sum(r["written"] for r in kind(records, "write", **{"from": "job"}))


def data_written(records):
    return [(r["bytes"], r["of"]) for r in kind(records, "written")]


def statuses(records):
    return [r["status"] for r in kind(records, "status")]


@contextlib.contextmanager
def registry_value(root, name, value):
    """HKLM\\ROOT with the REG_DWORD value NAME while the block runs; the key is deleted after."""
    reg = [os.environ["QVL_WINE"], "reg"]
    key = "HKLM\\" + root
    subprocess.run(reg + ["add", key, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    try:
        yield
    finally:
        subprocess.run(reg + ["delete", key, "/f"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def native_qvlprinter():
    """Builds the emulated printer's TCP server natively (once per build tree)."""
    out = os.path.join(os.environ.get("QVL_SPOOL_TEST_DIR", tempfile.gettempdir()),
                       "qvlprinter-native")
    src = os.path.join(ROOT, "host", "printer")
    shared = os.path.join(ROOT, "shared")
    # Every source of the folder: the server and the whole printer library, which names its
    # status codes from shared/.
    sources = sorted(glob.glob(os.path.join(src, "*.cpp")))
    headers = glob.glob(os.path.join(src, "*.h")) + glob.glob(os.path.join(shared, "*.h"))
    if not os.path.exists(out) or any(os.path.getmtime(s) > os.path.getmtime(out)
                                      for s in sources + headers):
        subprocess.run(["c++", "-std=c++17", "-O1", "-I", shared, "-o", out] + sources,
                       check=True)
    return out

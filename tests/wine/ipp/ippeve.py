"""A printer nobody here wrote: the IPP Everywhere printer simulator of Debian's cups-ipp-utils
(ippeveprinter), presenting itself as one of the maker's printers on a loopback port.

It needs a D-Bus system bus and avahi-daemon even when told not to announce itself. Whatever
of these is not running is started here, and only what was started here is stopped again, by
the process ids kept. Where the simulator is missing or cannot start, start() says why and
returns None: the caller skips what needs it.
"""
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.request


class Simulator:
    def __init__(self):
        self.process = None
        self.port = 0
        self.started = []  # (what, pid) of the daemons started here, stopped in reverse
        self.folder = None

    def uri(self, path="/ipp/print"):
        return "ipp://127.0.0.1:%d%s" % (self.port, path)

    def form(self, page, **fields):
        """Submits one of the simulator's web forms (/media, /supplies)."""
        query = "&".join("%s=%s" % kv for kv in fields.items())
        url = "http://127.0.0.1:%d/%s?%s" % (self.port, page, query)
        with urllib.request.urlopen(url, timeout=10) as answer:
            answer.read()

    def load(self, sheets, toner):
        """The main tray holds this many A4 sheets (0: emptied) and the toner is at this percentage,
        as the simulator's web forms set them (the by-pass tray keeps its envelopes)."""
        self.form("media", size1="iso_a4_210x297mm", type1="stationery", level1=str(sheets),
                  size3="iso_dl_110x220mm", type3="envelope", level3="-2")
        self.form("supplies", supply0="25", supply1=str(toner))

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)
        for what, pid in reversed(self.started):
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass
        self.started = []
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)


def _free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def _pid_of(path):
    try:
        with open(path) as f:
            pid = int(f.read().strip())
        os.kill(pid, 0)
        return pid
    except (OSError, ValueError):
        return None


def _bus(sim):
    """The D-Bus system bus: the running one, or one started here."""
    if _pid_of("/run/dbus/pid") and os.path.exists("/run/dbus/system_bus_socket"):
        return True
    if not shutil.which("dbus-daemon"):
        return False
    os.makedirs("/run/dbus", exist_ok=True)
    if os.path.exists("/run/dbus/pid"):  # left by a bus that is gone (checked above)
        os.remove("/run/dbus/pid")
    out = subprocess.run(["dbus-daemon", "--system", "--fork", "--print-pid"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=20)
    if out.returncode != 0:
        return False
    sim.started.append(("dbus-daemon", int(out.stdout.split()[0])))
    return True


def _avahi(sim):
    """avahi-daemon: the running one, or one started here."""
    if shutil.which("avahi-daemon") is None:
        return False
    if subprocess.run(["avahi-daemon", "--check"], stderr=subprocess.DEVNULL).returncode == 0:
        return True
    if subprocess.run(["avahi-daemon", "--daemonize", "--no-drop-root"],
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                      timeout=20).returncode != 0:
        return False
    for _ in range(50):
        pid = _pid_of("/run/avahi-daemon/pid")
        if pid:
            sim.started.append(("avahi-daemon", pid))
            return True
        time.sleep(0.1)
    return False


def start(model="QV-L3820", maker="Zemblaxon"):
    """The simulator presenting MFG:maker;MDL:model, answering on a free loopback port; None (with
    the reason printed) where it cannot run."""
    sim = Simulator()
    if not shutil.which("ippeveprinter"):
        print("ippeveprinter is not installed (cups-ipp-utils): left out")
        return None
    if not _bus(sim) or not _avahi(sim):
        print("no D-Bus system bus or avahi-daemon could be had: ippeveprinter left out")
        sim.stop()
        return None
    sim.port = _free_port()
    sim.folder = tempfile.mkdtemp(prefix="ippeve-")
    sim.process = subprocess.Popen(
        ["ippeveprinter", "-M", maker, "-m", model, "-n", "localhost", "-p", str(sim.port),
         "-r", "off", "-d", sim.folder, "QVL Simulated Printer"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if sim.process.poll() is not None:
            break
        try:
            socket.create_connection(("127.0.0.1", sim.port), timeout=0.2).close()
            return sim
        except OSError:
            time.sleep(0.1)
    print("ippeveprinter did not start: left out")
    sim.stop()
    return None

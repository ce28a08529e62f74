#!/usr/bin/env python3
"""The monitor's IPP client (ipp_query.exe) under Wine, against HTTP servers of this test's own on
the loopback interface:

- a printer whose answer is read whole: state, reasons, device ID, and the codes drawn from them;
- the same printer over ipps with a certificate of its own making (for another name, from no
  known authority), which the client accepts: it sends nothing secret;
- what the client must never do from inside the spooler: go through a proxy (one is named in the
  environment), send credentials when asked to log on, follow a redirect to another host, read
  an answer without bound, or take an HTML page or another request's answer for the printer's;
- a port that accepts but never answers, and a closed port: each costs no more than its bound;
- where a network port's printer is: the port monitor's answer to "GetConfigInfo" (PORT_DATA_1)
  and the printer address drawn from it, and no address for a port that is not a network one;
- a printer nobody here wrote (ippeveprinter, where it can run) presenting a QV-L3820: its
  device ID, then its main tray emptied and its toner lowered through its web forms.

  ipp_client_test.py IPP_QUERY_EXE        (needs the environment of scripts/wine-env; 77: skipped)
"""
import http.server
import json
import os
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading

import ippeve

failures = []


def check(cond, what, detail=None):
    if not cond:
        failures.append(what)
        print("FAIL: %s%s" % (what, "" if detail is None else ": %r" % (detail,)))


def attribute(tag, name, value):
    name, value = name.encode(), value if isinstance(value, bytes) else value.encode()
    return bytes([tag]) + struct.pack(">H", len(name)) + name + struct.pack(">H", len(value)) + value


def printer_answer(request_id):
    """A stopped printer with a jam and low toner, as a network printer words it."""
    body = struct.pack(">BBHI", 2, 0, 0, request_id) + b"\x01"
    body += attribute(0x47, "attributes-charset", "utf-8")
    body += attribute(0x48, "attributes-natural-language", "en") + b"\x04"
    body += attribute(0x23, "printer-state", struct.pack(">I", 5))
    body += attribute(0x44, "printer-state-reasons", "media-jam-error")
    body += attribute(0x44, "", "toner-low-report")
    body += attribute(0x41, "printer-device-id", "MFG:Zemblaxon;MDL:QV-L3470;CMD:PJL;")
    return body + b"\x03"


class Seen:
    requests = []  # (path, headers)
    lock = threading.Lock()


class Printer(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    other_port = 0

    def log_message(self, *args):
        pass

    def answer(self, code, body=b"", kind="application/ipp", extra=()):
        self.send_response(code)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        ask = self.rfile.read(length)
        with Seen.lock:
            Seen.requests.append((self.path, dict(self.headers.items()), ask))
        request_id = struct.unpack(">I", ask[4:8])[0] if len(ask) >= 8 else 0
        if self.path == "/ipp/print":
            self.answer(200, printer_answer(request_id))
        elif self.path == "/redirect":
            self.answer(307, extra=[("Location", "http://127.0.0.2:%d/ipp/print" % self.other_port)])
        elif self.path == "/logon":
            self.answer(401, extra=[("WWW-Authenticate", "Negotiate"),
                                    ("WWW-Authenticate", "NTLM"),
                                    ("WWW-Authenticate", 'Basic realm="printer"')])
        elif self.path == "/large":
            self.answer(200, printer_answer(request_id)[:-1] + b"\x30\x00\x00" + b"\x00" * 70000)
        elif self.path == "/page":
            self.answer(200, b"<html><body>Printer</body></html>", "text/html")
        elif self.path == "/stale":
            self.answer(200, printer_answer(request_id + 1))
        else:
            self.answer(404)


def serve(host):
    server = http.server.ThreadingHTTPServer((host, 0), Printer)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def serve_tls(folder):
    """The printer over TLS with a self-made certificate; None where openssl is missing."""
    if not shutil.which("openssl"):
        return None
    key, cert = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
    made = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                           key, "-out", cert, "-days", "2", "-subj", "/CN=printer.invalid"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if made.returncode != 0:
        return None
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Printer)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def query(exe, uri):
    out = subprocess.run([os.environ["QVL_WINE"], exe, uri], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=60)
    lines = [json.loads(x) for x in out.stdout.decode("latin-1").splitlines() if x.startswith("{")]
    return lines[0] if lines else {}


def simulated(exe):
    sim = ippeve.start()
    if sim is None:
        return
    try:
        first = query(exe, sim.uri())
        print("simulator %s" % json.dumps(first))
        check(first.get("result") == "ok" and "MDL:QV-L3820;" in first.get("device_id", ""),
              "the simulator's device ID names the QV-L3820", first)
        check(first.get("codes") == [10001], "the simulator is ready at first", first)
        sim.load(sheets=0, toner=3)
        after = query(exe, sim.uri())
        print("simulator %s" % json.dumps(after))
        check(after.get("codes") == [40556, 11104] and after.get("spooler_status") == 0,
              "an emptied A4 tray and low toner, neither stopping the printer", after)
    finally:
        sim.stop()


def main():
    if not os.environ.get("QVL_WINE"):
        print("SKIP: run under scripts/wine-env (QVL_WINE)")
        return 77
    exe = sys.argv[1]
    printer = serve("127.0.0.1")
    elsewhere = serve("127.0.0.2")  # the host a redirect points to
    Printer.other_port = elsewhere.server_address[1]
    proxy = socket.socket()
    proxy.bind(("127.0.0.1", 0))
    proxy.listen(8)
    proxy.settimeout(0)
    silent = socket.socket()  # accepts (the kernel does) and never answers
    silent.bind(("127.0.0.1", 0))
    silent.listen(8)
    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))
    closed_port = closed.getsockname()[1]
    closed.close()
    folder = tempfile.mkdtemp(prefix="ipp-client-")
    tls = serve_tls(folder)

    base = "http://127.0.0.1:%d" % printer.server_address[1]
    uris = {
        "printer": "ipp://127.0.0.1:%d/ipp/print" % printer.server_address[1],
        "redirect": base + "/redirect",
        "logon": base + "/logon",
        "large": base + "/large",
        "page": base + "/page",
        "stale": base + "/stale",
        "silent": "ipp://127.0.0.1:%d/ipp/print" % silent.getsockname()[1],
        "closed": "ipp://127.0.0.1:%d/ipp/print" % closed_port,
        "bad-uri": "lpd://127.0.0.1/queue",
    }
    if tls:
        uris["ipps"] = "ipps://127.0.0.1:%d/ipp/print" % tls.server_address[1]
    else:
        print("no openssl here: the ipps case is left out")
    env = dict(os.environ)
    proxy_uri = "http://127.0.0.1:%d" % proxy.getsockname()[1]
    env.update(http_proxy=proxy_uri, https_proxy=proxy_uri, HTTP_PROXY=proxy_uri)
    out = subprocess.run([os.environ["QVL_WINE"], exe] + list(uris.values()), env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=90)
    lines = [json.loads(x) for x in out.stdout.decode("latin-1").splitlines() if x.startswith("{")]
    check(out.returncode == 0 and len(lines) == len(uris), "one answer per query",
          (out.returncode, out.stdout[-400:], out.stderr[-400:]))
    got = dict(zip(uris, lines))
    for name, line in got.items():
        print("%-9s %s" % (name, json.dumps(line)))

    p = got.get("printer", {})
    check(p.get("result") == "ok" and p.get("http") == 200, "the printer's answer is read", p)
    check(p.get("state") == 5 and p.get("reasons") == ["media-jam", "toner-low"],
          "state and reasons", p)
    check(p.get("device_id") == "MFG:Zemblaxon;MDL:QV-L3470;CMD:PJL;", "device ID", p)
    check(p.get("spooler_status") == 0x8 and p.get("codes") == [40556, 40022],
          "a jam stops the printer, low toner does not", p)

    if tls:
        line = got.get("ipps", {})
        check(line.get("result") == "ok" and line.get("codes") == [40556, 40022],
              "ipps with a self-made certificate is read", line)
    shutil.rmtree(folder, ignore_errors=True)

    expected = {"redirect": ("refused", 307), "logon": ("refused", 401),
                "large": ("too-large", 200), "page": ("bad-answer", 200),
                "stale": ("bad-answer", 200), "silent": ("no-answer", 0),
                "closed": ("no-answer", 0), "bad-uri": ("bad-uri", 0)}
    for name, (result, status) in expected.items():
        line = got.get(name, {})
        check((line.get("result"), line.get("http")) == (result, status),
              "%s: %s, HTTP %d" % (name, result, status), line)
    check(got.get("silent", {}).get("ms", 99999) < 8000 + 1000,
          "a silent printer costs at most the query's bound", got.get("silent"))
    check(got.get("closed", {}).get("ms", 99999) < 2000 + 1000,
          "a closed port costs at most the connect time-out", got.get("closed"))

    with Seen.lock:
        requests = list(Seen.requests)
    for path, headers, ask in requests:
        names = {k.lower() for k in headers}
        check(not names & {"authorization", "proxy-authorization", "cookie"},
              "%s: no credentials and no cookies sent" % path, headers)
        check(headers.get("Content-Type") == "application/ipp", "%s: application/ipp" % path)
        check(ask[:4] == b"\x02\x00\x00\x0b", "%s: a Get-Printer-Attributes request" % path)
    logons = [h for p, h, _ in requests if p == "/logon"]
    check(len(logons) == 1, "asked to log on, the client asks no more", len(logons))
    try:
        proxy.accept()
        check(False, "the proxy in the environment was used")
    except BlockingIOError:
        pass
    elsewhere_seen = [p for p, h, _ in requests if h.get("Host", "").startswith("127.0.0.2")]
    check(not elsewhere_seen, "the redirect was not followed", elsewhere_seen)
    out = subprocess.run([os.environ["QVL_WINE"], exe, "--port-address", "tcp:10.20.30.40:9100",
                          "tcp:[fd00::7]:9100", "emu:QV-L3820", "tcp:bad host:1"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    ports = [json.loads(x) for x in out.stdout.decode("latin-1").splitlines() if x.startswith("{")]
    want = [(True, "10.20.30.40", 9100, 1, "ipp://10.20.30.40:631/ipp/print"),
            (True, "fd00::7", 9100, 1, "ipp://[fd00::7]:631/ipp/print"),
            (False, "", 0, 0, ""), (False, "", 0, 0, "")]
    got_ports = [(p["known"], p["host"], p["number"], p["protocol"], p["uri"]) for p in ports]
    check(got_ports == want, "port addresses through GetConfigInfo", got_ports)
    simulated(exe)
    print("ipp.client: %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

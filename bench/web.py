#!/usr/bin/env python3
"""The web door's benchmark, beside the network print port, in one program.

  web.py measure [--https-port PORT --cafile CERT --connections N]
         DIR HTTP_PORT LISTEN_PORT SINK_PORT PULSES INTERVAL_MS IMAGES JPEG -- TRALVO ARGS...
      Listens on SINK_PORT as the network printer (reading whatever comes), starts Tralvo with
      ARGS (which name those three ports, and the https one if given) and, once its Web group is
      open, measures:
        - PULSES ePOS pulse requests back to back on one kept-alive connection (requests/s);
        - IMAGES requests of a 300 KiB raster image back to back (requests/s; each is answered
          once the printer has been handed its last byte), and IMAGES of the JPEG file JPEG as
          Odoo's hardware proxy sends a receipt (decoded, scaled and dithered by Tralvo);
        - PULSES ePOS pulses INTERVAL_MS apart on that connection, and PULSES drawer kicks on a
          new print-port connection each, INTERVAL_MS apart: from just before the write of the
          request's (or kick's) last byte to the t= the stand-in library logs for its pulse;
        - with --https-port: N new connections one after another, each with one GET of
          /hw_proxy/hello, over http and over https (a full TLS handshake each, the certificate
          checked against CERT), and Tralvo's CPU time for them; then the pulses back to back
          and paced as above on one kept-alive https connection.
      Writes DIR/web.txt (key=value), DIR/tls.txt (the protocol and cipher agreed) and
      DIR/{web,net,tls}-writes.txt; Tralvo's log goes to DIR/program.err, the pulses to
      $CASHBOX_STANDIN_LOG.
  web.py report WORK RESULTS.md --rounds N --command TEXT ...
      Reads WORK/web<round>/tralvo and writes the section "# Web door benchmark".
"""
import argparse
import base64
import os
import socket
import ssl
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the tree
import report  # noqa: E402  (the shared readers, matching and section writer)

EPOS_PATH = "/cgi-bin/epos/service.cgi?devid=local_printer&timeout=10000"
IMAGE_WIDTH = 576  # dots: an 80 mm printer
IMAGE_BYTES = 300 * 1024


def envelope(body):
    return ('<?xml version="1.0" encoding="utf-8"?>'
            '<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body>'
            '<epos-print xmlns="http://www.epson-pos.com/schemas/2011/03/epos-print">'
            + body + '</epos-print></s:Body></s:Envelope>').encode()


def request(body):
    return (b"POST " + EPOS_PATH.encode() + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n"
            b"Content-Type: text/xml; charset=utf-8\r\nSOAPAction: \"\"\r\n"
            b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)


PULSE = request(envelope('<pulse drawer="drawer_1" time="pulse_100"/>'))
ROWS = IMAGE_BYTES // (IMAGE_WIDTH // 8)
RASTER_BYTES = ROWS * (IMAGE_WIDTH // 8)
# A raster with no kick in it: 0x55 bytes are neither ESC nor DLE.
IMAGE = request(envelope(
    f'<image width="{IMAGE_WIDTH}" height="{ROWS}" color="color_1" mode="mono">'
    + base64.b64encode(b"\x55" * RASTER_BYTES).decode() + '</image><cut type="feed"/>'))
KICK = b"\x1bp\x00\x19\xfa"
# A route the door answers at once, without a job.
HELLO = b"GET /hw_proxy/hello HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"


def receipt_request(jpeg):
    body = ('{"jsonrpc":"2.0","method":"call","params":{"data":{"action":"print_receipt",'
            '"receipt":"' + base64.b64encode(jpeg).decode() + '"}}}').encode()
    return (b"POST /hw_proxy/default_printer_action HTTP/1.1\r\nHost: 127.0.0.1\r\n"
            b"Content-Type: application/json\r\nContent-Length: " + str(len(body)).encode()
            + b"\r\n\r\n" + body)


def read_answer(sock):
    """One answer's head and body (by Content-Length); what came after it."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            raise RuntimeError("the door closed the connection")
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    while len(rest) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise RuntimeError("the door closed the connection mid-answer")
        rest += chunk
    return head + b"\r\n\r\n" + rest[:length], rest[length:]


class Sink(threading.Thread):
    """The network printer: takes connections one after another and counts what they bring."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.server = socket.create_server(("127.0.0.1", port))
        self.received = 0

    def run(self):
        while True:
            conn, _ = self.server.accept()
            with conn:
                while chunk := conn.recv(1 << 16):
                    self.received += len(chunk)


def connect(port, timeout_s=10):
    deadline = time.monotonic() + timeout_s
    while True:
        try:
            sock = socket.create_connection(("127.0.0.1", port), timeout=10)
            # A POS writes a request whole; held back by Nagle, a last byte written apart would
            # wait for the door's delayed acknowledgement (40 ms).
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            return sock
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.05)


def connect_tls(port, context):
    return context.wrap_socket(connect(port), server_hostname="127.0.0.1")


def cpu_ticks(pid):
    # utime and stime; the name in brackets may hold blanks, so count from its end.
    fields = open(f"/proc/{pid}/stat").read().rpartition(")")[2].split()
    return int(fields[11]) + int(fields[12])


def fresh_connections(open_one, count, pid):
    """count connections one after another, each opened, asked HELLO and closed: seconds, all
    good, Tralvo's CPU seconds."""
    good = True
    ticks = cpu_ticks(pid)
    start = time.monotonic()
    for _ in range(count):
        with open_one() as sock:
            sock.sendall(HELLO)
            answer, rest = read_answer(sock)
        good = good and answer.startswith(b"HTTP/1.1 200") and b"\r\n\r\nping" in answer
        good = good and not rest
    seconds = time.monotonic() - start
    return seconds, good, (cpu_ticks(pid) - ticks) / os.sysconf("SC_CLK_TCK")


def back_to_back(sock, message, count, success=b'success="true"'):
    """Requests one after another, each sent when the last was answered: seconds, all good."""
    good = True
    start = time.monotonic()
    for _ in range(count):
        sock.sendall(message)
        answer, rest = read_answer(sock)
        good = good and answer.startswith(b"HTTP/1.1 200") and success in answer
        good = good and not rest
    return time.monotonic() - start, good


def paced(count, interval_s, send_one):
    """send_one() count times, interval_s apart; the monotonic time just before each write."""
    writes = []
    next_at = time.monotonic()
    for _ in range(count):
        next_at += interval_s
        while (now := time.monotonic()) < next_at:
            time.sleep(min(next_at - now, 0.005))
        writes.append(send_one())
    return writes


def measure(args):
    os.makedirs(args.dir, exist_ok=True)
    sink = Sink(args.sink_port)
    sink.start()
    err = open(os.path.join(args.dir, "program.err"), "w")
    program = subprocess.Popen(args.program, stderr=err, stdout=subprocess.DEVNULL)
    # How busy the machine already was: the other jobs' share shows in every figure.
    results = {"load_1m": os.getloadavg()[0]}
    try:
        deadline = time.monotonic() + 20
        while b"Web: Open Success" not in open(err.name, "rb").read():
            if time.monotonic() > deadline or program.poll() is not None:
                raise RuntimeError("Tralvo's web door did not open")
            time.sleep(0.05)
        web = connect(args.http_port)
        web.sendall(PULSE)  # the warm-up, which binds the library
        read_answer(web)

        seconds, good = back_to_back(web, PULSE, args.pulses)
        results["pulse_rps"] = args.pulses / seconds if good else float("nan")
        received = sink.received
        seconds, good = back_to_back(web, IMAGE, args.images)
        results["image_rps"] = args.images / seconds if good else float("nan")
        results["image_request_bytes"] = len(IMAGE)
        time.sleep(0.5)
        results["image_bytes_at_sink"] = sink.received - received
        with open(args.jpeg, "rb") as f:
            jpeg = f.read()
        results["jpeg_bytes"] = len(jpeg)
        seconds, good = back_to_back(web, receipt_request(jpeg), args.images, b'"result":true')
        results["jpeg_rps"] = args.images / seconds if good else float("nan")

        tls = None
        if args.https_port:
            context = ssl.create_default_context(cafile=args.cafile)
            for name, open_one in (("http", lambda: connect(args.http_port)),
                                   ("https", lambda: connect_tls(args.https_port, context))):
                fresh_connections(open_one, 1, program.pid)  # the warm-up
                seconds, good, cpu = fresh_connections(open_one, args.connections, program.pid)
                results[f"{name}_connect_cps"] = args.connections / seconds if good else float("nan")
                results[f"{name}_connect_cpu_us"] = cpu / args.connections * 1e6
            tls = connect_tls(args.https_port, context)
            with open(os.path.join(args.dir, "tls.txt"), "w") as f:
                f.write(f"{tls.version()} {tls.cipher()[0]}\n")
            tls.sendall(PULSE)
            read_answer(tls)
            seconds, good = back_to_back(tls, PULSE, args.pulses)
            results["tls_pulse_rps"] = args.pulses / seconds if good else float("nan")

        interval = args.interval_ms / 1000

        def pulse_on(sock):
            def send_one():
                sock.sendall(PULSE[:-1])
                at = time.monotonic()
                sock.sendall(PULSE[-1:])  # over TLS a record of its own, as the rest was
                read_answer(sock)
                return at
            return send_one

        def print_port_kick():
            with connect(args.listen_port) as conn:
                conn.sendall(KICK[:-1])
                at = time.monotonic()
                conn.sendall(KICK[-1:])
            return at

        phases = [("web", pulse_on(web)), ("net", print_port_kick)]
        if tls:
            phases.append(("tls", pulse_on(tls)))
        for name, send_one in phases:
            time.sleep(0.5)
            writes = paced(args.pulses, interval, send_one)
            with open(os.path.join(args.dir, f"{name}-writes.txt"), "w") as f:
                f.writelines(f"{t:.6f}\n" for t in writes)
        time.sleep(1)
        web.close()
        if tls:
            tls.close()
        results["rss_kb"] = next(int(line.split()[1]) for line in
                                 open(f"/proc/{program.pid}/status") if line.startswith("VmRSS"))
    finally:
        program.terminate()
        results["exit_status"] = program.wait(10)
        err.close()
    with open(os.path.join(args.dir, "web.txt"), "w") as f:
        f.writelines(f"{k}={v}\n" for k, v in results.items())


def latency_figures(d, name, pulses_log, expected):
    path = os.path.join(d, f"{name}-writes.txt")
    if not os.path.exists(path):
        return {}
    writes, unread = report.read_writes(path)
    figures = report.latency_summary(writes, unread, report.read_pulses(pulses_log), expected,
                                     last_window_s=0.4)
    return {f"{name}_{key}": value for key, value in figures.items()}


def build_report(args):
    rounds = []
    for r in range(1, args.rounds + 1):
        d = os.path.join(args.work, f"web{r}", "tralvo")
        f = report.read_keys(os.path.join(d, "web.txt")) if os.path.exists(
            os.path.join(d, "web.txt")) else {}
        for name in ("web", "net", "tls"):
            f.update(latency_figures(d, name, os.path.join(d, "pulses.log"), args.pulses))
        rounds.append(f)

    def cell(key, digits=0):
        values = [f.get(key, float("nan")) for f in rounds]
        median = sorted(values)[len(values) // 2]
        per = " / ".join(report.fmt(v, digits) for v in values)
        return f"{report.fmt(median, digits)} ({per})"

    def row(title, key, digits=0):
        return f"| {title} | {cell(key, digits)} |"

    def both(title, http_key, https_key, digits=0):
        return f"| {title} | {cell(http_key, digits)} | {cell(https_key, digits)} |"

    tls_path = os.path.join(args.work, "web1", "tralvo", "tls.txt")
    agreed = open(tls_path).read().strip() if os.path.exists(tls_path) else "not measured"

    image_kib = rounds[0].get("image_request_bytes", float("nan")) / 1024 if rounds else 0
    missed = sum(f.get(f"{n}_missed", 0) for f in rounds for n in ("web", "net", "tls"))
    extra = sum(f.get(f"{n}_extra", 0) for f in rounds for n in ("web", "net", "tls"))
    sink_ok = all(f.get("image_bytes_at_sink", 0) >= args.images * RASTER_BYTES for f in rounds)
    lines = [
        "# Web door benchmark",
        "",
        f"{time.strftime('%Y-%m-%d')}, `{args.command}`, {args.rounds} rounds, {os.cpu_count()} cores "
        "(1-minute load average at each round's start: "
        f"{' / '.join(report.fmt(f.get('load_1m', float('nan')), 2) for f in rounds)}). One client "
        "→ HTTP on 127.0.0.1 (`--http`), or the same over TLS (`--https`, the till's own "
        f"certificate; {agreed}) → Tralvo → a network printer (`--printer=socket://`, "
        "a listener that reads as fast as it comes), beside the network print port (`--listen`) "
        "of the same program. Medians over the rounds, per-round values in brackets. Compare "
        "only within one run.",
        "",
        "| figure | http | https |",
        "| --- | --- | --- |",
        both(f"new connection and one GET of /hw_proxy/hello, one after another "
             f"(connections/s; {args.connections} a round)", "http_connect_cps",
             "https_connect_cps"),
        both("… Tralvo's CPU per connection (µs, /proc stat utime+stime)",
             "http_connect_cpu_us", "https_connect_cpu_us"),
        both(f"ePOS pulse, back to back on one kept-alive connection (requests/s; {args.pulses} "
             "a round)", "pulse_rps", "tls_pulse_rps"),
        both("ePOS pulse on that connection, last byte written → pulse, p50 (µs)",
             "web_p50_us", "tls_p50_us"),
        both("ePOS pulse on that connection, last byte written → pulse, p99 (µs)",
             "web_p99_us", "tls_p99_us"),
        both("ePOS pulse on that connection, last byte written → pulse, max (µs)",
             "web_max_us", "tls_max_us"),
        "",
        "| figure | median (per round) |",
        "| --- | --- |",
        row(f"ePOS image of 300 KiB raster ({image_kib:.0f} KiB request), back to back, answered "
            f"once the printer has it (requests/s; {args.images} a round)", "image_rps", 1),
        row(f"Odoo receipt, a {rounds[0].get('jpeg_bytes', 0) / 1024:.0f} KiB JPEG decoded and "
            f"dithered at 512 dots, answered once the printer has it (requests/s; {args.images} "
            "a round)", "jpeg_rps", 1),
        row("print port kick on a new connection, last byte written → pulse, p50 (µs)",
            "net_p50_us"),
        row("print port kick on a new connection, last byte written → pulse, p99 (µs)",
            "net_p99_us"),
        row("print port kick on a new connection, last byte written → pulse, max (µs)",
            "net_max_us"),
        row("VmRSS after the run (KiB)", "rss_kb"),
        row("exit status after SIGTERM", "exit_status"),
        f"| pulses missed / extra, all rounds ({args.pulses} http, {args.pulses} https and "
        f"{args.pulses} print port a round) | {missed} / {extra} |",
        f"| every image's raster reached the printer (every round) | {sink_ok} |",
        "",
        "Requests/s: each request is written whole and the next only once its answer "
        "(`success=\"true\"`) is read, so it is the door's round trip, the ePOS translation and "
        "(for the image) the printer's turn. Latency: the request (or kick) is written but for "
        "its last byte, then CLOCK_MONOTONIC is read and the last byte written; the pulse's time "
        f"is the t= the stand-in library logs. Paced {args.interval_ms} ms apart; a warm-up "
        "request (which binds the library) is not counted. Over https the last byte goes in a "
        "TLS record of its own. Connections/s: a full handshake each (the client offers no "
        "session to resume) and the certificate checked, by a Python client on the same two "
        "cores, whose own share is in the figure; a warm-up connection is not counted.",
    ]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="action", required=True)
    m = sub.add_parser("measure")
    m.add_argument("dir")
    for name in ("http_port", "listen_port", "sink_port", "pulses", "interval_ms", "images"):
        m.add_argument(name, type=int)
    m.add_argument("--https-port", type=int)
    m.add_argument("--cafile")
    m.add_argument("--connections", type=int, default=500)
    m.add_argument("jpeg")
    m.add_argument("program", nargs=argparse.REMAINDER)
    r = sub.add_parser("report")
    r.add_argument("work")
    r.add_argument("output")
    r.add_argument("--rounds", type=int, default=3)
    r.add_argument("--command", default="BENCH_PARTS=web bench/run.sh")
    r.add_argument("--pulses", type=int, default=200)
    r.add_argument("--images", type=int, default=20)
    r.add_argument("--connections", type=int, default=500)
    r.add_argument("--interval-ms", type=int, default=20)
    args = parser.parse_args()
    if args.action == "measure":
        if args.program[:1] == ["--"]:
            args.program = args.program[1:]
        measure(args)
    else:
        text = build_report(args)
        report.write_section(args.output, text)
        sys.stdout.write(text)


if __name__ == "__main__":
    main()

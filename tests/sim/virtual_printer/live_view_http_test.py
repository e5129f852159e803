#!/usr/bin/python3
"""The live view's server against the real program: bad requests are refused
with 4xx, and neither stalled pages nor many pages at once keep the printer
from answering status requests on its line.

    live_view_http_test.py VIRTUAL_PRINTER
"""

from __future__ import annotations

import socket
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from live_view_support import VirtualPrinter, wait_until  # noqa: E402

MOST_STREAMS = 32  # WebView::kMostStreams
READY = 0x12  # DLE EOT 1 of a ready printer with the drawer closed

failures = 0


def check(name: str, ok: bool, detail: str = "") -> None:
    global failures
    print(("ok   " if ok else "FAIL ") + name + ("" if ok else ": " + detail))
    failures += 0 if ok else 1


def exchange(port: int, request: bytes, timeout: float = 5.0) -> bytes:
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(request)
        reply = b""
        try:
            while b"\r\n" not in reply:
                chunk = s.recv(4096)
                if not chunk:
                    break
                reply += chunk
        except socket.timeout:
            pass
        return reply


def status_code(reply: bytes) -> int:
    parts = reply.split(b" ", 2)
    return int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0


def open_stream(port: int, host: str) -> socket.socket:
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    s.sendall(f"GET /events HTTP/1.1\r\nHost: {host}\r\n\r\n".encode())
    return s


def main() -> int:
    program = str(Path(sys.argv[1]).resolve())
    with tempfile.TemporaryDirectory(prefix="kit-live-http-") as folder:
        printer = VirtualPrinter(program, Path(folder), "--state", "ok")
        try:
            run(printer)
            check("the printer quits with exit status 0", printer.quit() == 0)
        finally:
            printer.kill()
    print(f"{'passed' if failures == 0 else 'failed'}: {failures} failures")
    return 1 if failures else 0


def run(printer: VirtualPrinter) -> None:
    host = f"127.0.0.1:{printer.port}"
    bad_requests = [
        ("not HTTP", b"GARBAGE\r\n\r\n", 400),
        ("unknown version", f"GET / HTTP/7.3\r\nHost: {host}\r\n\r\n".encode(), 400),
        ("unknown path", f"GET /nothing HTTP/1.1\r\nHost: {host}\r\n\r\n".encode(), 404),
        ("piece never cut", f"GET /paper/piece/99 HTTP/1.1\r\nHost: {host}\r\n\r\n".encode(), 404),
        ("version not a number", f"GET /paper/current?since=-1 HTTP/1.1\r\nHost: {host}\r\n\r\n".encode(), 400),
        ("URI too long", f"GET /{'a' * 20000} HTTP/1.1\r\nHost: {host}\r\n\r\n".encode(), 414),
        ("another site's host name", b"GET / HTTP/1.1\r\nHost: printer.example:80\r\n\r\n", 403),
        ("no host", b"GET / HTTP/1.1\r\n\r\n", 403),
        ("unknown condition", f"POST /state?condition=smoke&on=1 HTTP/1.1\r\nHost: {host}\r\n"
                              "X-Live-View: 1\r\nContent-Length: 0\r\n\r\n".encode(), 400),
        ("condition without on", f"POST /state?condition=paper-out HTTP/1.1\r\nHost: {host}\r\n"
                                 "X-Live-View: 1\r\nContent-Length: 0\r\n\r\n".encode(), 400),
        ("a POST without the page's header", f"POST /state?condition=paper-out&on=1 HTTP/1.1\r\nHost: {host}\r\n"
                                             "Content-Length: 0\r\n\r\n".encode(), 403),
        ("a body too large", f"POST /clear HTTP/1.1\r\nHost: {host}\r\nX-Live-View: 1\r\n"
                             f"Content-Length: 100000\r\n\r\n{'x' * 100000}".encode(), 413),
    ]
    for name, request, expected in bad_requests:
        got = status_code(exchange(printer.port, request))
        check(f"{name}: answered {expected}", got == expected, f"answered {got}")
    # The refused POST changed nothing.
    check("the state is unchanged after the refused requests", printer.status(4) == 0x12, "paper out")

    # Many pages: the first MOST_STREAMS streams are served, the rest refused,
    # while the page itself and the printer's replies still come.
    streams = [open_stream(printer.port, host) for _ in range(MOST_STREAMS + 4)]
    codes = [status_code(s.recv(4096)) for s in streams]
    check(f"{MOST_STREAMS} streams at once are served, more are refused",
          codes.count(200) == MOST_STREAMS and codes.count(503) == 4, str(codes))
    page = exchange(printer.port, f"GET / HTTP/1.1\r\nHost: {host}\r\n\r\n".encode())
    check("the page still loads with every stream taken", status_code(page) == 200, str(page[:40]))
    check("status replies come with every stream taken", printer.status(1) == READY)
    for s in streams:
        s.close()
    # A page that has gone is noticed at the next write (a heartbeat at the latest).
    reopened = wait_until("a stream after the others closed",
                          lambda: status_code(exchange(printer.port, f"GET /events HTTP/1.1\r\nHost: {host}\r\n\r\n"
                                                       .encode(), timeout=2)) == 200, timeout=15, every=0.5)
    check("streams closed by their pages are given back", bool(reopened))

    # Stalled pages: streams whose readers never read, while a long receipt
    # makes events for them; status requests keep being answered.
    stalled = []
    for _ in range(6):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1024)
        s.connect(("127.0.0.1", printer.port))
        s.sendall(f"GET /events HTTP/1.1\r\nHost: {host}\r\n\r\n".encode())
        stalled.append(s)
    receipt = b"".join(b"Line %05d of a long receipt, with the listing growing\n" % i for i in range(4000))
    writer = threading.Thread(target=lambda: [printer.write(receipt[i:i + 4096]) or time.sleep(0.005)
                                              for i in range(0, len(receipt), 4096)])
    writer.start()
    replies = []
    started = time.monotonic()
    while writer.is_alive() or len(replies) < 10:
        began = time.monotonic()
        reply = printer.status(1, timeout=3)
        replies.append((reply, time.monotonic() - began))
        time.sleep(0.01)
        if time.monotonic() - started > 60:
            break
    writer.join()
    late = [f"{reply} after {took:.2f} s" for reply, took in replies if reply != READY or took > 2.0]
    check(f"with stalled pages, {len(replies)} status requests each answered within 2 s", not late, ", ".join(late))
    printer.wait_for_record(len(receipt) + 3 * len(replies))
    for s in stalled:
        s.close()


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""An HTTP server on 127.0.0.1 for the web client suites. It prints its port, then serves until its
standard input closes, and at most 60 seconds. Every response says in headers what the server saw:
X-Seen-Host (the request's Host), X-Seen-Method, and X-Request-Number (the requests so far on this
connection, which tells a kept connection from a new one)."""
import os
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

XML = b'<data v="1"/>'


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        self.count = 0

    def log_message(self, *args):
        pass

    def seen(self):
        self.count += 1
        return (f"X-Seen-Host: {self.headers.get('Host', '')}\r\nX-Seen-Method: {self.command}\r\n"
                f"X-Request-Number: {self.count}\r\n")

    def answer(self, status_line, headers="", body=b""):
        self.wfile.write(f"{status_line}\r\n{self.seen()}{headers}\r\n".encode() + body)

    def do_HEAD(self):
        self.answer("HTTP/1.1 200 OK", f"Content-Length: {len(XML)}\r\n")

    def do_GET(self):
        if self.path == "/chunked":
            self.answer("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n", b"2\r\n<a\r\n2\r\n/>\r\n0\r\nX-Trailer: t\r\n\r\n")
        elif self.path == "/missing":
            self.answer("HTTP/1.1 404 Not Found", "Content-Length: 4\r\n", b"nope")
        elif self.path == "/empty":
            self.answer("HTTP/1.1 204 No Content")
        elif self.path == "/moved":
            self.answer("HTTP/1.1 301 Moved Permanently", "Location: /xml\r\nContent-Length: 0\r\n")
        elif self.path == "/broken":
            self.answer("HTTP/1.1 500 Internal Server Error", "Content-Length: 0\r\n")
        elif self.path == "/close":
            self.answer("HTTP/1.1 200 OK", f"Connection: close\r\nContent-Length: {len(XML)}\r\n", XML)
            self.close_connection = True
        elif self.path == "/old":
            self.answer("HTTP/1.0 200 OK", "", b"old body ended by the close")
            self.close_connection = True
        else:
            self.answer("HTTP/1.1 200 OK", f"Content-Length: {len(XML)}\r\n", XML)


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
threading.Thread(target=server.serve_forever, daemon=True).start()
print(server.server_address[1], flush=True)
stdin_closed = threading.Event()
threading.Thread(target=lambda: (sys.stdin.read(), stdin_closed.set()), daemon=True).start()
# Ends with the test (its stdin closes), or gives up after a minute scaled as the suite's deadlines
# are (tests/support/deadline_factor.h), should the test hang.
factor = os.environ.get("KESTRANE_TEST_DEADLINE_FACTOR", "")
stdin_closed.wait(60 * (int(factor) if factor.isdigit() and 1 <= int(factor) <= 100 else 1))

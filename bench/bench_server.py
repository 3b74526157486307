#!/usr/bin/env python3
"""Loopback file server for the download benchmarks.

Serves the files of a folder with keep-alive (HTTP/1.1), and under
/slow/<name>?size=N&rate=R a body of N bytes sent at R bytes a second.
Usage: bench_server.py <folder> <port>
"""
import http.server
import os
import sys
import time
import urllib.parse


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in separate writes; without this each keep-alive
    # request waits for the peer's delayed acknowledgement.
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if not url.path.startswith("/slow/"):
            return super().do_GET()
        query = urllib.parse.parse_qs(url.query)
        size = int(query.get("size", ["1000000"])[0])
        rate = int(query.get("rate", ["100000"])[0])
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        slice_ = max(1, rate // 20)
        sent = 0
        try:
            while sent < size:
                n = min(slice_, size - sent)
                self.wfile.write(b"s" * n)
                sent += n
                time.sleep(n / rate)
        except (BrokenPipeError, ConnectionResetError):
            pass


def main():
    folder, port = sys.argv[1], int(sys.argv[2])
    os.chdir(folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    server.serve_forever()


if __name__ == "__main__":
    main()

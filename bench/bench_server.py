#!/usr/bin/env python3
"""Loopback file server for the download benchmarks.

Serves the files of a folder with keep-alive (HTTP/1.1), and under
/slow/<name>?size=N&rate=R a body of N bytes sent at R bytes a second.
Under /drop/<name> the file <name> with an ETag and byte ranges, whose first
answer breaks off at half; /stats then tells how many body bytes the /drop
answers sent in all.
Usage: bench_server.py <folder> <port>
"""
import http.server
import os
import re
import sys
import threading
import time
import urllib.parse

lock = threading.Lock()
dropped = set()  # names whose first answer broke off already
sent_bytes = 0


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in separate writes; without this each keep-alive
    # request waits for the peer's delayed acknowledgement.
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/stats":
            body = str(sent_bytes).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if url.path.startswith("/drop/"):
            return self.drop(url.path[len("/drop/"):])
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


    def drop(self, name):
        global sent_bytes
        path = os.path.join(os.getcwd(), os.path.basename(name))
        size = os.path.getsize(path)
        etag = '"%x-%x"' % (size, int(os.path.getmtime(path)))
        start = 0
        match = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", ""))
        if match and self.headers.get("If-Range", etag) == etag and int(match.group(1)) < size:
            start = int(match.group(1))
        with lock:
            first = name not in dropped
            dropped.add(name)
        self.send_response(206 if start else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("ETag", etag)
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(size - start))
        if start:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))
        self.end_headers()
        stop = size // 2 if first else size
        with open(path, "rb") as f:
            f.seek(start)
            at = start
            try:
                while at < stop:
                    chunk = f.read(min(1 << 20, stop - at))
                    self.wfile.write(chunk)
                    at += len(chunk)
                    with lock:
                        sent_bytes += len(chunk)
            except (BrokenPipeError, ConnectionResetError):
                pass
        if first:
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(2)


def main():
    folder, port = sys.argv[1], int(sys.argv[2])
    os.chdir(folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    server.serve_forever()


if __name__ == "__main__":
    main()

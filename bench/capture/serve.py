#!/usr/bin/env python3
"""The capture benchmark's and soak test's web server, on 127.0.0.1 only.

Pages (the query string is ignored, so ?n=42 makes every URL distinct):
  /text.html       a light text page
  /gradients.html  gradients, shadows and an iframe (/frame.html)
  /table.html      a 2000-row table
  /tall.html       a 1500x6000 page with images, the lower ones lazy
  /slow.html?ms=N  the text page after N ms
  /missing.html    404 with a small error page
  /hang.html       headers and the start of a page, then nothing more, ever
  /crash.html      a page whose script exhausts the renderer's heap, which
                   kills the renderer

Prints the port on standard output once it listens. Every document is
sent with Cache-Control: no-store so that each capture is a real load.

With --root DIR it serves the files of DIR instead (a documentation site
that a Debian package ships), as they are, caching headers included.
"""

import argparse
import functools
import http.server
import socketserver
import struct
import sys
import threading
import time
import urllib.parse
import zlib


def png(width, height, seed):
    """A small gradient PNG, so that image decoding is part of a load."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows += bytes(((x * 255 // width + seed * 40) & 255,
                           (y * 255 // height) & 255,
                           (seed * 70 + 90) & 255))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b""))


STYLE = ("body{margin:0;font:15px/1.45 sans-serif;color:#222;background:#fff}"
         "h1{margin:0;padding:18px 24px;background:#234;color:#fff;font-size:26px}")


def text_page():
    words = ("the quick brown fox jumps over the lazy dog while a small web page "
             "is loaded, laid out and drawn into a thumbnail").split()
    paras = []
    for i in range(14):
        body = " ".join(words[(i * 7 + k) % len(words)] for k in range(60))
        paras.append(f"<p>{i + 1}. {body.capitalize()}.</p>")
    return (f"<!doctype html><html><head><meta charset=utf-8><title>Text</title><style>{STYLE}"
            "p{margin:12px 24px;max-width:760px}</style></head><body><h1>A light text page</h1>"
            + "".join(paras) + "</body></html>")


def gradients_page():
    boxes = []
    for i in range(24):
        a, b = (i * 37) % 360, (i * 37 + 140) % 360
        kind = ("linear-gradient({}deg,hsl({},70%,55%),hsl({},80%,35%))".format(i * 15, a, b)
                if i % 2 else
                "radial-gradient(circle at 30% 30%,hsl({},90%,75%),hsl({},60%,25%))".format(a, b))
        boxes.append(f'<div class=b style="background:{kind}"></div>')
    return ("<!doctype html><html><head><meta charset=utf-8><title>Gradients</title><style>"
            f"{STYLE}body{{background:linear-gradient(160deg,#fdfbfb,#c9d6ff)}}"
            ".b{display:inline-block;width:150px;height:110px;margin:10px;border-radius:14px;"
            "box-shadow:0 6px 18px rgba(0,0,0,.35)}"
            "iframe{display:block;margin:10px 24px;width:600px;height:220px;border:2px solid #567}"
            "</style></head><body><h1>Gradients and an iframe</h1>"
            '<iframe src="/frame.html"></iframe>' + "".join(boxes) + "</body></html>")


def frame_page():
    return ("<!doctype html><html><head><meta charset=utf-8><style>"
            "body{margin:0;height:220px;font:20px sans-serif;color:#fff;"
            "background:conic-gradient(from 45deg,#e66,#ec6,#6c6,#6ce,#66e,#e6e,#e66)}"
            "p{margin:0;padding:40px}</style></head><body><p>An embedded document</p>"
            "</body></html>")


def table_page():
    rows = "".join(
        f"<tr><td>{i}</td><td>item {i * 7919 % 10007}</td><td>{(i * 31) % 997}.{i % 100:02d}</td>"
        f"<td>{'yes' if i % 3 else 'no'}</td><td>row {i} of the long table</td></tr>"
        for i in range(1, 2001))
    return ("<!doctype html><html><head><meta charset=utf-8><title>Table</title><style>"
            f"{STYLE}table{{border-collapse:collapse;margin:12px 24px}}"
            "td,th{border:1px solid #bbb;padding:3px 8px}tr:nth-child(even){background:#eef}"
            "</style></head><body><h1>2000 rows</h1><table><tr><th>#</th><th>Item</th>"
            "<th>Price</th><th>Stock</th><th>Note</th></tr>" + rows + "</table></body></html>")


def tall_page():
    blocks = []
    for i in range(20):
        lazy = ' loading="lazy"' if i >= 3 else ""
        blocks.append(
            f'<section style="top:{i * 300}px;background:hsl({i * 18},55%,85%)">'
            f'<img src="/img/{i % 6}.png?s={i}" width=240 height=160{lazy}>'
            f"<h2>Section {i + 1}</h2><p>{'Text of a long page. ' * 30}</p></section>")
    return ("<!doctype html><html><head><meta charset=utf-8><title>Tall</title><style>"
            "body{margin:0;width:1500px;height:6000px;position:relative;font:15px sans-serif}"
            "section{position:absolute;left:0;width:1500px;height:300px;box-sizing:border-box;"
            "padding:20px}img{float:left;margin-right:20px}p{max-width:1100px}"
            "</style></head><body>" + "".join(blocks) + "</body></html>")


def missing_page():
    return ("<!doctype html><html><head><title>Not found</title></head><body>"
            "<h1>404: no such page</h1></body></html>")


# The renderer dies of an out-of-memory error in V8's heap, which is fatal
# to the process (unlike a failed ArrayBuffer allocation, which only throws).
CRASH = ("<!doctype html><html><head><title>Crash</title></head><body><p>Going down</p>"
         "<script>const keep=[];for(let n=0;;n++)keep.push(new Array(1e7).fill(n+0.5));"
         "</script></body></html>")

PAGES = {
    "/text.html": text_page(),
    "/gradients.html": gradients_page(),
    "/frame.html": frame_page(),
    "/table.html": table_page(),
    "/tall.html": tall_page(),
    "/crash.html": CRASH,
}
IMAGES = {f"/img/{i}.png": png(240, 160, i) for i in range(6)}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "capture-bench"

    def log_message(self, fmt, *args):  # quiet: thousands of requests
        pass

    def send(self, status, body, kind="text/html; charset=utf-8"):
        if isinstance(body, str):
            body = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        path = url.path
        query = urllib.parse.parse_qs(url.query)
        try:
            if path in PAGES:
                self.send(200, PAGES[path])
            elif path in IMAGES:
                self.send(200, IMAGES[path], "image/png")
            elif path == "/slow.html":
                time.sleep(int(query.get("ms", ["1500"])[0]) / 1000)
                self.send(200, PAGES["/text.html"])
            elif path == "/hang.html":
                self.hang()
            elif path == "/favicon.ico":
                self.send(204, b"", "image/x-icon")
            else:
                self.send(404, missing_page())
        except (BrokenPipeError, ConnectionResetError):
            pass

    def hang(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", "100000000")
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(b"<!doctype html><html><body><p>Still loading")
        self.wfile.flush()
        # A byte now and then finds out when the browser gives up, so that
        # the thread ends.
        while True:
            time.sleep(1)
            self.wfile.write(b".")
            self.wfile.flush()


class StaticHandler(http.server.SimpleHTTPRequestHandler):
    # Keep-alive, as a site's real server would; the lengths are known.
    protocol_version = "HTTP/1.1"
    server_version = "capture-bench"

    def log_message(self, fmt, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--dump", metavar="DIR", help="write the pages to DIR and exit")
    parser.add_argument("--root", metavar="DIR", help="serve the files of DIR instead")
    args = parser.parse_args()
    if args.dump:
        import os
        os.makedirs(args.dump, exist_ok=True)
        for path, body in PAGES.items():
            with open(os.path.join(args.dump, path.lstrip("/")), "w") as f:
                f.write(body)
        return
    handler = (functools.partial(StaticHandler, directory=args.root) if args.root else Handler)
    server = Server(("127.0.0.1", args.port), handler)
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())

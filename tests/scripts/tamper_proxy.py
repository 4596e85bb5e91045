#!/usr/bin/env python3
"""A plain-HTTP proxy in front of nginx that rewrites answers, for
e2e_tamper.test.sh.

  tamper_proxy.py LISTEN_PORT UPSTREAM_PORT RULE_FILE LOG_FILE

The rule file is read again for every request, one rule a line ('#' starts
a comment line); PATH is the request's path without its query:
  site NAME               forward every path as /NAME/path (one site tree a folder)
  flip PATH OFFSET [once] change the byte at OFFSET of the file (XOR 0x01);
                          "once": only the first answer that holds that byte
  swap PATH OTHER         forward PATH as the upstream path OTHER instead
  drop PATH               answer 404
  append PATH COUNT       COUNT more bytes after the end of the file
  slow PATH RATE          send the body at about RATE bytes a second
Range requests are forwarded as they are; offsets are offsets into the file,
so a ranged answer is changed where it holds them. Content-Length (and
Content-Range where bytes are added) always describe what is sent. Each
request is logged as "path range=<Range> status length" to LOG_FILE.
"""
import http.client
import http.server
import os
import re
import sys
import threading
import time

LISTEN, UPSTREAM, RULES, LOG = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
HOP_BY_HOP = {"connection", "keep-alive", "transfer-encoding", "content-length", "host"}
lock = threading.Lock()
fired = set()  # (rule file state, line number) of one-shot rules already used


def read_rules():
    try:
        stat = os.stat(RULES)
        with open(RULES) as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return None, []
    state = (stat.st_mtime_ns, stat.st_size)
    return state, [(n, l.split()) for n, l in enumerate(lines) if l.strip() and not l.startswith("#")]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.do_GET(head=True)

    def do_GET(self, head=False):
        path = self.path.split("?", 1)[0]
        state, rules = read_rules()
        upstream_path, site = self.path, ""
        for _, r in rules:
            if r[0] == "site":
                site = "/" + r[1]
            elif r[0] == "swap" and r[1] == path:
                upstream_path = r[2] + self.path[len(path):]
                site = ""
        mine = [(n, r) for n, r in rules if r[0] != "site" and r[1] == path]
        if any(r[0] == "drop" for _, r in mine):
            return self.answer(404, [("Content-Type", "text/plain")], b"not found\n", head)
        headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP_BY_HOP}
        conn = http.client.HTTPConnection("127.0.0.1", UPSTREAM, timeout=30)
        conn.request(self.command, site + upstream_path, headers=headers)
        reply = conn.getresponse()
        body = bytearray(reply.read())
        conn.close()
        out = [(k, v) for k, v in reply.getheaders() if k.lower() not in HOP_BY_HOP]
        # The file offsets this answer holds: [start, start + len(body)) of `total`.
        start, total = 0, len(body)
        ranged = re.match(r"bytes (\d+)-(\d+)/(\d+)", reply.getheader("Content-Range") or "")
        if ranged:
            start, total = int(ranged.group(1)), int(ranged.group(3))
        if reply.status in (200, 206) and not head:
            for n, r in mine:
                if r[0] == "flip":
                    at = int(r[2]) - start
                    once = len(r) > 3 and r[3] == "once"
                    with lock:
                        if not 0 <= at < len(body) or (once and (state, n) in fired):
                            continue
                        fired.add((state, n))
                    body[at] ^= 0x01
                elif r[0] == "append" and start + len(body) == total:
                    body += b"\0" * int(r[2])
                    if ranged:
                        out = [(k, v) for k, v in out if k.lower() != "content-range"]
                        out.append(("Content-Range", "bytes %d-%d/%d" % (
                            start, start + len(body) - 1, total + int(r[2]))))
        rate = next((int(r[2]) for _, r in mine if r[0] == "slow"), 0)
        self.answer(reply.status, out, bytes(body), head, rate)

    def answer(self, status, headers, body, head, rate=0):
        if not any(k.lower() == "date" for k, _ in headers):
            headers = headers + [("Date", self.date_time_string())]
        with lock, open(LOG, "a") as log:
            log.write("%s range=%s %d %d\n" % (self.path, self.headers.get("Range", "-"), status, len(body)))
        try:
            self.send_response_only(status)  # upstream's own Server and Date follow
            for k, v in headers:
                self.send_header(k, v)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if not head and rate:
                for at in range(0, len(body), 65536):
                    self.wfile.write(body[at:at + 65536])
                    time.sleep(65536 / rate)
            elif not head:
                self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True  # the installer stopped reading a refused answer


server = http.server.ThreadingHTTPServer(("127.0.0.1", LISTEN), Handler)
server.daemon_threads = True
server.serve_forever()

#!/usr/bin/env python3
"""Test server for the installer window: serves a folder, and holds every
request below /slow/ open for a long time so an installation stays on its
first step. Usage: ui_window_server.py PORT FOLDER"""
import http.server
import os
import socketserver
import sys
import time

PORT = int(sys.argv[1])
ROOT = sys.argv[2]


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=ROOT, **kwargs)

    def do_GET(self):
        if self.path.startswith("/slow/"):
            time.sleep(300)
            self.send_error(404)
            return
        super().do_GET()

    def log_message(self, fmt, *args):
        sys.stderr.write("server: " + (fmt % args) + "\n")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


Server(("127.0.0.1", PORT), Handler).serve_forever()

#!/usr/bin/env python3
"""Serves a folder over HTTP on 127.0.0.1, the way any static web server or CDN would, and
appends one line per answered GET to a log: "<status> <bytes> <path>". The demo reads that log
to show how much an update really downloaded."""
import argparse
import functools
import http.server
import os
import sys


class LoggingHandler(http.server.SimpleHTTPRequestHandler):
    log_path = None

    def log_message(self, format, *args):  # keep the terminal quiet
        pass

    def send_head(self):
        result = super().send_head()
        path = self.translate_path(self.path)
        size = os.path.getsize(path) if result is not None and os.path.isfile(path) else 0
        with open(self.log_path, "a", encoding="utf-8") as log:
            log.write(f"{200 if result is not None else 404} {size} {self.path}\n")
        return result


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    LoggingHandler.log_path = args.log
    handler = functools.partial(LoggingHandler, directory=args.root)
    with http.server.ThreadingHTTPServer(("127.0.0.1", args.port), handler) as server:
        print(f"serving {args.root} on http://127.0.0.1:{args.port}/", flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            sys.exit(0)


if __name__ == "__main__":
    main()

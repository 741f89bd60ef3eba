#!/usr/bin/env python3
"""Static HTTP server on 127.0.0.1 for the bundle self-update test and benchmark.

Serves ROOT on a free port and prints "port N" once it listens. With --hold-from N, the N-th and
later requests of --hold-path are held until the file --release exists; while one is held the
file --held exists, so a test can see the restarted launcher waiting without timing anything.
"""
import argparse
import http.server
import os
import threading
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--hold-path", default="/main.json")
    parser.add_argument("--hold-from", type=int, default=0)
    parser.add_argument("--held")
    parser.add_argument("--release")
    options = parser.parse_args()
    lock = threading.Lock()
    counts = {"requests": 0}

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=options.root, **kwargs)

        def log_message(self, *args):
            pass

        def do_GET(self):
            if self.path.split("?")[0] == options.hold_path and options.hold_from > 0:
                with lock:
                    counts["requests"] += 1
                    number = counts["requests"]
                if number >= options.hold_from:
                    open(options.held, "w").close()
                    while not os.path.exists(options.release):
                        time.sleep(0.05)
            super().do_GET()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print("port", server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()

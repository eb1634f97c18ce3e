#!/usr/bin/env python3
"""A static server for a built site that waits before each answer, as a
distant host would: serve.py FOLDER PORT DELAY_MS. Each request waits in its
own thread, so requests made together wait together."""
import functools
import http.server
import sys
import time


class SlowHandler(http.server.SimpleHTTPRequestHandler):
    delay = 0.0

    def handle_one_request(self):
        time.sleep(self.delay)
        super().handle_one_request()

    def log_message(self, *args):
        pass


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: slow_server.py FOLDER PORT DELAY_MS")
    folder, port, delay = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]) / 1000
    SlowHandler.delay = delay
    handler = functools.partial(SlowHandler, directory=folder)
    http.server.ThreadingHTTPServer(("127.0.0.1", port), handler).serve_forever()


if __name__ == "__main__":
    main()

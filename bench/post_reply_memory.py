#!/usr/bin/env python3
"""Peak memory of `comsvc post` against a loopback peer that sends a large
JSON reply, measured with /usr/bin/time -v (Maximum resident set size).

usage: bench/post_reply_memory.py COMSVC [--mb 100] [--max-reply BYTES]...

The peer reads the request, sends "HTTP/1.0 200 OK", a blank line and an
object holding an array of objects (strings, integers, doubles; a few
non-ASCII letters, unless --ascii) of about --mb megabytes (a reply's
document starts at its first "{"), then closes. Each --max-reply value is
run with --json (by default 1, 3, 10 and 30 MB and 64 MiB, which cut the
reply, and 200 MB, which keeps all of it), and the default once without
--json as a reference. Two ratios are printed: the peak over the reply
bytes kept, and what --json adds to the peak of the run without it (the
program's own memory, the same at any bound) over the reply bytes kept.
"""

import argparse
import re
import socket
import socketserver
import subprocess
import threading


def document(megabytes, ascii_only=False):
    item = ('{"id":%d,"name":"item %d","text":"a line of ordinary text, caf\u00e9 and na\u00efve",'
            '"price":%d.25,"tags":["red","green","blue"],"ok":true}')
    if ascii_only:
        item = item.replace("\u00e9", "e").replace("\u00ef", "i")
    parts, size, i = ['{"items":['], 10, 0
    while size < megabytes * 1000 * 1000:
        piece = ("," if i else "") + item % (i, i, i)
        parts.append(piece)
        size += len(piece.encode())
        i += 1
    parts.append("]}")
    return ("HTTP/1.0 200 OK\r\n\r\n" + "".join(parts)).encode()


class Peer(socketserver.BaseRequestHandler):
    reply = b""

    def handle(self):
        request = b""
        while b"\r\n\r\n" not in request:
            chunk = self.request.recv(65536)
            if not chunk:
                return
            request += chunk
        head, _, body = request.partition(b"\r\n\r\n")
        length = re.search(rb"Content-Length: (\d+)", head)
        while length and len(body) < int(length.group(1)):
            body += self.request.recv(65536)
        try:
            self.request.sendall(self.reply)
            self.request.shutdown(socket.SHUT_WR)
        except OSError:
            pass  # the client stopped reading at its bound


def listen():
    # The URL's port is a 16-bit signed integer: stay below 32768.
    for port in range(23000, 32000, 7):
        try:
            return socketserver.ThreadingTCPServer(("127.0.0.1", port), Peer)
        except OSError:
            continue
    raise SystemExit("no free port below 32768")


def peak(command):
    run = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True)
    kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", run.stderr).group(1))
    seconds = re.search(r"Elapsed \(wall clock\) time.*: (\S+)", run.stderr).group(1)
    return kb * 1024, seconds, run.returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("comsvc")
    parser.add_argument("--mb", type=int, default=100)
    parser.add_argument("--max-reply", type=int, action="append")
    parser.add_argument("--ascii", action="store_true", help="no letters beyond ASCII")
    args = parser.parse_args()
    Peer.reply = document(args.mb, args.ascii)
    sent = len(Peer.reply)
    server = listen()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d/form" % server.server_address[1]

    print("peer sends %d bytes" % sent)
    def run(options):
        return peak([args.comsvc, "post", "--silent", "--timeout", "600"] + options + [url, "a=1"])

    own, seconds, status = run([])
    print("%-40s peak %6.1f MB  %s s  exit %d" % ("post (no --json)", own / 1e6, seconds, status))
    for bound in args.max_reply or [1000000, 3000000, 10000000, 30000000, 64 << 20, 200000000]:
        rss, seconds, status = run(["--json", "--max-reply", str(bound)])
        kept = min(bound, sent)
        print("%-40s kept %10d  peak %6.1f MB  %5.2fx  above no --json %5.2fx  %s s  exit %d" %
              ("post --json --max-reply %d" % bound, kept, rss / 1e6, rss / kept, (rss - own) / kept, seconds,
               status))
    server.shutdown()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""A misbehaving HTTP file server for the download tests, on 127.0.0.1 only.

  fault_server.py start STATE_DIR [--tls CERT KEY]   start in the background; prints the port,
                                    writes STATE_DIR/port
  fault_server.py stop STATE_DIR    stop the server started with that STATE_DIR
  fault_server.py serve STATE_DIR [--tls CERT KEY]   run in the foreground

With --tls the same scenarios are also served over TLS, with that certificate and key (PEM), on a
second port written to STATE_DIR/tls-port; the control and log requests work on either port. A
connection broken off over TLS ends without the TLS closing message, as a network failure does.

Many tests share one server; each test picks its own key and works under it:

  PUT /control/<key>   body: a scenario (JSON, below); resets the key's request log
  GET /log/<key>       one line per request so far:
                       "<ms since the scenario>\t<Range or ->\t<User-Agent>\t<If-Range or ->\t<status>"
                       (status "-" when the request got no answer)
  GET /f/<key>         the file, answered as the scenario says

Scenario: {"file": path, "responses": [step, ...]}; request n uses step n, the last step repeats
(no steps: every request is honoured). A step is an object with any of:
  status        200, 206, 416, 404, 500 ...; absent: 206 for a Range request (416 when it starts
                at or past the end), else 200
  ignore_range  true: answer 200 with the whole file even when asked for a range
  no_length     true: send no Content-Length (the body ends when the connection closes)
  chunked       true: send no Content-Length but the body in chunked transfer coding
  range_from    answer a 206 with the file from this byte (body and Content-Range) whatever
                byte was asked for, as a misconfigured server or proxy does
  extra         this many bytes more after the body (they reach the client only without a length)
  length        a Content-Length to announce instead of the true one; when it is more than the
                body, the connection closes after the body, as a server whose file is shorter
                than it announced does
  location      send this Location header (with status 301, 302, 307: a redirect)
  break_after   close the connection after this many body bytes
  stall         seconds to wait before the response headers
  stall_after   [bytes, seconds]: wait this long after this many body bytes
  chunk, delay  send the body in chunks of `chunk` bytes, `delay` seconds apart (trickle)
  empty         true: send no body bytes at all
  corrupt_at    flip the bits of the file's byte at this offset wherever the body carries it
  drop          true: close the connection without any answer
  file          serve this file instead of the scenario's (a new release at the same address)
  etag, last_modified
                send these validators with a 200 or 206; a ranged request whose If-Range names
                neither (a weak ETag never matches) gets the whole file, as HTTP has it
  ignore_if_range  true: honour the range whatever If-Range says (a careless server)
"""
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOCK = threading.Lock()
SCENARIOS = {}  # key -> {"scenario": dict, "log": [str], "start": float, "count": int}


def parse_range(header, size):
    if not header or not header.startswith("bytes="):
        return None
    first = header[len("bytes="):].split("-", 1)[0].strip()
    return int(first) if first.isdigit() else None


def if_range_holds(if_range, step):
    """True when a ranged request may get its range: no If-Range, or one naming the file's strong
    ETag or its Last-Modified date exactly."""
    if if_range is None or step.get("ignore_if_range"):
        return True
    etag = step.get("etag")
    if if_range.startswith('"') or if_range.startswith("W/"):
        return bool(etag) and not etag.startswith("W/") and if_range == etag
    return bool(step.get("last_modified")) and if_range == step["last_modified"]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply_text(self, code, text):
        data = text.encode("utf-8")
        self.send_response(code)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_PUT(self):
        parts = self.path.split("/")
        if len(parts) != 3 or parts[1] != "control":
            return self.reply_text(404, "no such control\n")
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with LOCK:
            SCENARIOS[parts[2]] = {"scenario": json.loads(body or b"{}"), "log": [],
                                   "start": time.monotonic(), "count": 0}
        self.reply_text(200, "ok\n")

    do_POST = do_PUT

    def do_GET(self):
        parts = self.path.split("/")
        if len(parts) == 3 and parts[1] == "log":
            with LOCK:
                entry = SCENARIOS.get(parts[2])
                lines = list(entry["log"]) if entry else []
            return self.reply_text(200, "".join(line + "\n" for line in lines))
        if len(parts) == 3 and parts[1] == "f":
            return self.serve_file(parts[2])
        self.reply_text(404, "not found\n")

    def serve_file(self, key):
        with LOCK:
            entry = SCENARIOS.get(key)
            if entry is None:
                return self.reply_text(404, "no scenario\n")
            elapsed = int((time.monotonic() - entry["start"]) * 1000)
            line = "%d\t%s\t%s\t%s" % (elapsed, self.headers.get("Range", "-"),
                                         self.headers.get("User-Agent", "-"), self.headers.get("If-Range", "-"))
            log, index = entry["log"], len(entry["log"])
            log.append(line + "\t-")
            steps = entry["scenario"].get("responses") or [{}]
            step = steps[min(entry["count"], len(steps) - 1)]
            entry["count"] += 1
            path = step.get("file", entry["scenario"].get("file"))
        data = b""
        if path:
            with open(path, "rb") as f:
                data = f.read()
        size = len(data)

        if step.get("stall"):
            time.sleep(step["stall"])
        if step.get("drop"):
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            return
        start = parse_range(self.headers.get("Range"), size)
        if start is not None and not if_range_holds(self.headers.get("If-Range"), step):
            start = None  # the file is not the one the client holds a piece of: all of it
        status = step.get("status")
        if status is None:
            if start is None or step.get("ignore_range"):
                status = 200
            else:
                status = 206 if start < size else 416
        if status == 206 and step.get("range_from") is not None:
            start = step["range_from"]
        if status == 206:
            body = data[start or 0:]
        elif status == 200:
            body = data
        else:
            body = ("error %d\n" % status).encode()
        if step.get("empty"):
            body = b""
        if step.get("extra"):
            body += b"\xA5" * step["extra"]
        corrupt = step.get("corrupt_at")
        if corrupt is not None and status in (200, 206):
            at = corrupt - ((start or 0) if status == 206 else 0)
            if 0 <= at < len(body):
                body = body[:at] + bytes([body[at] ^ 0xFF]) + body[at + 1:]

        with LOCK:
            log[index] = "%s\t%d" % (line, status)
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start or 0, size - 1, size))
        chunked = step.get("chunked")
        if status in (200, 206):
            if step.get("etag"):
                self.send_header("ETag", step["etag"])
            if step.get("last_modified"):
                self.send_header("Last-Modified", step["last_modified"])
        if step.get("location"):
            self.send_header("Location", step["location"])
        if step.get("no_length"):
            self.send_header("Connection", "close")
            self.close_connection = True
        elif chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(step.get("length", len(body))))
        self.end_headers()

        limit = step.get("break_after")
        if limit is not None:
            body = body[:limit]
        chunk = step.get("chunk") or 65536
        delay = step.get("delay") or 0
        stall_after = step.get("stall_after")
        sent = 0
        try:
            while True:
                if stall_after and sent == stall_after[0]:
                    time.sleep(stall_after[1])
                    stall_after = None
                if sent >= len(body):
                    break
                end = min(len(body), sent + chunk)
                if stall_after and sent < stall_after[0] < end:
                    end = stall_after[0]
                if chunked:
                    self.wfile.write(b"%x\r\n%s\r\n" % (end - sent, body[sent:end]))
                else:
                    self.wfile.write(body[sent:end])
                self.wfile.flush()
                sent = end
                if delay:
                    time.sleep(delay)
            if chunked and limit is None:
                self.wfile.write(b"0\r\n\r\n")
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass
        short = not chunked and not step.get("no_length") and step.get("length", 0) > len(body)
        if limit is not None or step.get("no_length") or short:
            # An abrupt end: the client sees the body stop short of what was announced.
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def write_port(state_dir, name, port):
    with open(os.path.join(state_dir, name + ".tmp"), "w") as f:
        f.write("%d\n" % port)
    os.replace(os.path.join(state_dir, name + ".tmp"), os.path.join(state_dir, name))


class TlsServer(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # refused handshakes are what some tests want; a traceback each says nothing


def serve(state_dir, tls=None):
    if tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*tls)
        secure = TlsServer(("127.0.0.1", 0), Handler)
        # The handshake runs in the request's own thread: a client that stalls it must not hold up
        # the accepting loop.
        secure.socket = context.wrap_socket(secure.socket, server_side=True, do_handshake_on_connect=False)
        threading.Thread(target=secure.serve_forever, daemon=True).start()
        write_port(state_dir, "tls-port", secure.server_address[1])
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    write_port(state_dir, "port", server.server_address[1])
    with open(os.path.join(state_dir, "pid"), "w") as f:
        f.write("%d\n" % os.getpid())
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    server.serve_forever()


def start(state_dir, tls_args):
    os.makedirs(state_dir, exist_ok=True)
    stop(state_dir)
    port_file = os.path.join(state_dir, "port")
    with open(os.path.join(state_dir, "server.log"), "ab") as log:
        subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state_dir] + tls_args,
                         stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    for _ in range(200):
        if os.path.exists(port_file):
            print(open(port_file).read().strip())
            return 0
        time.sleep(0.05)
    print("fault_server: did not start", file=sys.stderr)
    return 1


def stop(state_dir):
    pid_file = os.path.join(state_dir, "pid")
    if os.path.exists(pid_file):
        try:
            os.kill(int(open(pid_file).read()), signal.SIGTERM)
        except (ProcessLookupError, ValueError):
            pass
        os.remove(pid_file)
    for name in ("port", "tls-port"):
        if os.path.exists(os.path.join(state_dir, name)):
            os.remove(os.path.join(state_dir, name))
    return 0


if __name__ == "__main__":
    arguments = sys.argv[1:]
    tls = None
    if len(arguments) == 5 and arguments[0] in ("start", "serve") and arguments[2] == "--tls":
        tls = [os.path.abspath(path) for path in arguments[3:5]]
        arguments = arguments[:2]
    if len(arguments) != 2 or arguments[0] not in ("start", "stop", "serve"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    command, directory = arguments[0], os.path.abspath(arguments[1])
    if command == "serve":
        serve(directory, tls)
    elif command == "start":
        sys.exit(start(directory, ["--tls"] + tls if tls else []))
    else:
        sys.exit(stop(directory))

"""HTTP/1.1 keep-alive file server for the update folder, with fault injection;
HTTPS when given a TLS context."""

import http.cookies
import itertools
import mimetypes
import os
import secrets
import ssl
import sys
import time
from http import HTTPStatus
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote

COOKIE_NAME = "qv_session"
# URL prefix -> subfolder of the served folder; longest prefix first.
URL_PREFIXES = (
    ("/vask/updates/Quennvoldar/", "Quennvoldar"),
    ("/updates/", ""),
)


class PathRejected(Exception):
    """The URL path tries to leave the served folder or is malformed."""


def resolve_url_path(root, url_path):
    """Map a decoded URL path to a file below root; None if it maps to nothing."""
    for prefix, subfolder in URL_PREFIXES:
        if url_path.startswith(prefix):
            relative = url_path[len(prefix):]
            break
    else:
        return None
    segments = [s for s in relative.split("/") if s]
    if any(s in ("..", ".") or "\\" in s or "\0" in s for s in segments):
        raise PathRejected(url_path)
    base = os.path.join(root, subfolder) if subfolder else root
    candidate = os.path.realpath(os.path.join(base, *segments))
    # Symlinks inside the folder must not lead out of it either.
    if os.path.commonpath([candidate, root]) != root:
        raise PathRejected(url_path)
    return candidate if os.path.isfile(candidate) else None


class UpdateHttpServer(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, port, root, event_log, faults, tls_context=None):
        self.root = os.path.realpath(root)
        self.event_log = event_log
        self.faults = faults
        self.tls_context = tls_context  # HTTPS when given
        # Fresh per run so a cookie kept from an earlier run does not count.
        self.cookie_value = secrets.token_hex(8)
        self._connection_ids = itertools.count(1)
        super().__init__(("127.0.0.1", port), UpdateHttpHandler)

    def next_connection_id(self):
        return next(self._connection_ids)

    def get_request(self):
        connection, address = super().get_request()
        if self.tls_context is not None:
            # The handshake runs in the connection's own thread (finish_request).
            connection = self.tls_context.wrap_socket(connection, server_side=True,
                                                      do_handshake_on_connect=False)
        return connection, address

    def finish_request(self, request, client_address):
        if self.tls_context is not None:
            try:
                request.do_handshake()
            except (ssl.SSLError, OSError):
                return  # a client that refuses the certificate ends the handshake
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        # Clients hanging up mid-transfer are expected (aborted downloads).
        if isinstance(sys.exc_info()[1], ConnectionError):
            return
        super().handle_error(request, client_address)


class UpdateHttpHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuennvoldarTestServer/1.0"
    # Idle keep-alive connections are closed eventually, as real servers do.
    timeout = 60
    # Headers and body go out in separate writes; Nagle would stall each reuse.
    disable_nagle_algorithm = True

    def setup(self):
        super().setup()
        self.connection_id = self.server.next_connection_id()
        self.fault = None

    def do_GET(self):
        self._serve(send_body=True)

    def do_HEAD(self):
        self._serve(send_body=False)

    def _serve(self, send_body):
        self.fault = None
        url_path = self.path.split("?", 1)[0].split("#", 1)[0]
        try:
            url_path = unquote(url_path, errors="strict")
        except UnicodeDecodeError:
            self._send_plain(HTTPStatus.BAD_REQUEST, send_body)
            return
        faults = self.server.faults
        # Each connection has its own thread, so a stalled answer stalls no other.
        time.sleep(faults.delay_seconds(url_path))
        if faults.take_drop(url_path):
            self.fault = "drop"
            self.close_connection = True
            self._log(None)
            return
        body = faults.replaced_body(url_path)
        if body is not None:
            self.fault = "body"
            self.send_response(HTTPStatus.OK)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if send_body:
                self.wfile.write(body)
            return
        error_status = faults.take_error_status(url_path)
        if error_status is not None:
            self.fault = "error"
            self._send_plain(error_status, send_body)
            return
        try:
            file_path = resolve_url_path(self.server.root, url_path)
        except PathRejected:
            self._send_plain(HTTPStatus.BAD_REQUEST, send_body)
            return
        if file_path is None:
            self._send_plain(HTTPStatus.NOT_FOUND, send_body)
            return
        self._send_file(file_path, url_path, send_body)

    def _send_file(self, file_path, url_path, send_body):
        try:
            source = open(file_path, "rb")
        except OSError:
            self._send_plain(HTTPStatus.NOT_FOUND, send_body)
            return
        with source:
            stat = os.fstat(source.fileno())
            faults = self.server.faults
            last_modified = self.date_time_string(
                None if faults.fresh_date(url_path) else stat.st_mtime)
            etag = '"%x-%x"' % (stat.st_size, stat.st_mtime_ns) if faults.etags else None
            start = self._range_start(stat.st_size, last_modified, etag)
            length = stat.st_size - start
            truncate = send_body and faults.take_truncate(url_path)
            if truncate:
                self.fault = "truncate"
            range_fault = faults.range_fault(url_path) if start else None
            if range_fault:
                self.fault = range_fault
            content_type = mimetypes.guess_type(file_path)[0] or "application/octet-stream"
            if start:
                total = stat.st_size + (1 if range_fault == "other-total" else 0)
                self.send_response(HTTPStatus.PARTIAL_CONTENT)
                self.send_header("Content-Range",
                                 "bytes %d-%d/%d" % (start, stat.st_size - 1, total))
            else:
                self.send_response(HTTPStatus.OK)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(length))
            self.send_header("Last-Modified", last_modified)
            if range_fault == "other-etag":
                self.send_header("ETag", '"anders"')
            elif etag:
                self.send_header("ETag", etag)
            self.end_headers()
            if not send_body:
                return
            source.seek(start)
            cut = faults.cut_bytes(url_path)
            if range_fault:
                # Bytes of another version: appended, they would spoil the file.
                self.wfile.write(bytes(byte ^ 0xFF for byte in source.read(length)))
            elif truncate or (cut is not None and cut < length):
                self.wfile.write(source.read(length // 2 if truncate else cut))
                # The announced length can no longer be met: end the connection.
                self.close_connection = True
            elif faults.bytes_per_second(url_path):
                # A tenth of the pace every tenth of a second: a slow but moving body.
                chunk = max(1, faults.bytes_per_second(url_path) // 10)
                while True:
                    data = source.read(chunk)
                    if not data:
                        break
                    self.wfile.write(data)
                    time.sleep(0.1)
            else:
                # Headers are already flushed; sendfile keeps benchmarks CPU-cheap.
                self.connection.sendfile(source, offset=start)

    def _range_start(self, size, last_modified, etag):
        """Where the body starts: after the bytes a "Range: bytes=N-" skips,
        when its If-Range (if any) still names this version (its date or its
        ETag); else 0."""
        wanted = self.headers.get("Range", "")
        if self.server.faults.ignores_ranges or not wanted.startswith("bytes="):
            return 0
        first, dash, last = wanted[len("bytes="):].partition("-")
        if not dash or last or not first.isdigit() or int(first) >= size:
            return 0
        if self.headers.get("If-Range", last_modified) not in (last_modified, etag):
            return 0
        return int(first)

    def _send_plain(self, status, send_body):
        try:
            phrase = HTTPStatus(status).phrase
        except ValueError:
            phrase = "Error"
        body = ("%d %s\n" % (status, phrase)).encode("ascii")
        self.send_response(status, phrase)
        self.send_header("Content-Type", "text/plain; charset=ascii")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if send_body:
            self.wfile.write(body)

    def _cookie_returned(self):
        headers = getattr(self, "headers", None)
        if headers is None:
            return False
        for header in headers.get_all("Cookie", []):
            jar = http.cookies.SimpleCookie()
            try:
                jar.load(header)
            except http.cookies.CookieError:
                continue
            morsel = jar.get(COOKIE_NAME)
            if morsel is not None and morsel.value == self.server.cookie_value:
                return True
        return False

    def end_headers(self):
        # Set until the client brings it back, so a client that drops cookies shows up in the log.
        if not self._cookie_returned():
            self.send_header(
                "Set-Cookie", "%s=%s; Path=/; HttpOnly" % (COOKIE_NAME, self.server.cookie_value)
            )
        super().end_headers()

    def _log(self, status):
        self.server.event_log.write(
            proto="http",
            conn=self.connection_id,
            method=getattr(self, "command", None),
            path=getattr(self, "path", None),
            status=status,
            cookie=self._cookie_returned(),
            fault=self.fault,
            range=self._request_header("Range"),
            if_range=self._request_header("If-Range"),
        )

    def _request_header(self, name):
        headers = getattr(self, "headers", None)
        return headers.get(name) if headers is not None else None

    def log_request(self, code="-", size="-"):
        # Called from send_response, so it also covers the base class's own errors (400, 501).
        self._log(int(code))

    def log_message(self, format, *args):
        # Everything worth knowing is in the JSON log; keep the terminal quiet.
        pass

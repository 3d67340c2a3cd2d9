#!/usr/bin/python3
"""Serve one folder over FTP (listing) and HTTP (download) on 127.0.0.1 for updater tests.

Runs in the foreground until SIGTERM/SIGINT. See README.md for the options.
"""

import argparse
import json
import logging
import os
import signal
import ssl
import sys
import tempfile
import threading

from event_log import EventLog
from ftp_service import make_ftp_server, parse_listed_size_option
from http_faults import (RANGE_FAULT_KINDS, HttpFaults, parse_body_option, parse_delay_option,
                         parse_error_option, parse_path_option, parse_range_fault_option)
from http_service import UpdateHttpServer
import signed_release
from tls_certificates import CERTIFICATE_KINDS, TRUSTED, write_server_identity

# Upper bound on how long a stop signal waits for either server loop to notice it.
STOP_POLL_SECONDS = 0.1


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", help="folder to serve (FTP home, HTTP /updates/)")
    parser.add_argument("--ftp-port", type=int, default=2121, help="0 picks a free port")
    parser.add_argument("--http-port", type=int, default=8080, help="0 picks a free port")
    parser.add_argument("--user", default="quennvoldar")
    parser.add_argument("--password", default="Demo-Pw-2026")
    parser.add_argument("--log", metavar="FILE", help="append JSON-lines events here")
    parser.add_argument("--ready-file", metavar="FILE",
                        help="written (JSON: pid, ports) once both servers accept connections")
    parser.add_argument("--http-error", metavar="PATH:N[:STATUS]", action="append", default=[],
                        type=parse_error_option,
                        help="first N requests for PATH answer STATUS (default 500)")
    parser.add_argument("--http-truncate", metavar="PATH[:N]", action="append", default=[],
                        type=parse_path_option,
                        help="full Content-Length, half the body, then close (first N or all)")
    parser.add_argument("--http-drop", metavar="PATH[:N]", action="append", default=[],
                        type=parse_path_option,
                        help="close the connection without a response (first N or all)")
    parser.add_argument("--http-rate", metavar="PATH:BYTES", action="append", default=[],
                        type=parse_delay_option,
                        help="every body of PATH is sent at BYTES per second")
    parser.add_argument("--http-cut", metavar="PATH:BYTES", action="append", default=[],
                        type=parse_delay_option,
                        help="every body of PATH ends after BYTES, with the connection")
    parser.add_argument("--http-no-range", action="store_true",
                        help="Range requests get the whole file, as from an old server")
    parser.add_argument("--http-etag", action="store_true",
                        help="every file answer carries a strong ETag, which If-Range may name")
    parser.add_argument("--http-fresh-date", metavar="PATH", action="append", default=[],
                        help="PATH's Last-Modified is the response's Date, as for a file "
                             "changed that second")
    parser.add_argument("--http-range-fault", metavar="KIND:PATH", action="append", default=[],
                        type=parse_range_fault_option,
                        help="spoil PATH's 206 answers: " + ", ".join(RANGE_FAULT_KINDS))
    parser.add_argument("--http-body", metavar="PATH=FILE", action="append", default=[],
                        type=parse_body_option,
                        help="every GET of PATH answers 200 with FILE's bytes instead")
    parser.add_argument("--http-delay", metavar="PATH:SECONDS", action="append", default=[],
                        type=parse_delay_option,
                        help="every GET or HEAD of PATH is answered only after SECONDS")
    parser.add_argument("--ftp-refuse-login", action="store_true", help="every login gets 530")
    parser.add_argument("--ftp-max-logins", metavar="N", type=int, default=0,
                        help="a login while N others stand gets 530")
    parser.add_argument("--ftp-unlistable", metavar="FOLDER", action="append", default=[],
                        help="LIST/MLSD/NLST/CWD of this server folder answer 550")
    parser.add_argument("--no-mlsd", action="store_true",
                        help="do not offer MLSD/MLST; clients must use LIST")
    parser.add_argument("--ftp-list-delay", metavar="SECONDS", type=float, default=0,
                        help="every LIST/MLSD/NLST is answered only after SECONDS")
    parser.add_argument("--ftp-greeting-delay", metavar="SECONDS", type=float, default=0,
                        help="every connection is greeted only after SECONDS")
    parser.add_argument("--ftp-long-line", metavar="BYTES", type=int, default=0,
                        help="every listing is one line of BYTES bytes")
    parser.add_argument("--ftp-drip", action="store_true",
                        help="every listing is sent a byte every quarter second")
    parser.add_argument("--ftp-listed-size", metavar="PATH:BYTES", action="append", default=[],
                        type=parse_listed_size_option,
                        help="LIST and MLSD show the file PATH with BYTES bytes (any number)")
    parser.add_argument("--tls", metavar="CA_FOLDER",
                        help="HTTPS, and FTP with explicit TLS required on control and data, "
                             "with a certificate issued at start by the test CA of CA_FOLDER "
                             "(made when missing)")
    parser.add_argument("--tls-certificate", choices=CERTIFICATE_KINDS, default=TRUSTED,
                        help="show the test CA's certificate for 127.0.0.1 (trusted), one from "
                             "another CA (other-ca) or one for another host name (other-host)")
    parser.add_argument("--sign", metavar="FOLDER", action="append", default=[],
                        help="sign this served folder at start (its next release), with "
                             "--release-tool and --release-key, as the updater's folder when "
                             "it is Quennvoldar, else as the product's")
    parser.add_argument("--release-tool", metavar="PATH", help="the quennvoldar-release command")
    parser.add_argument("--release-key", metavar="FILE", default=signed_release.TEST_KEY,
                        help="secret key to sign with (default: the test key)")
    parser.add_argument("--release-product", metavar="ID", default=signed_release.TEST_PRODUCT,
                        help="the product the manifests name (default: %(default)s)")
    parser.add_argument("--release-fault", metavar="KIND:PATH", action="append", default=[],
                        type=signed_release.parse_fault,
                        help="spoil the signed release: " + ", ".join(signed_release.FAULT_KINDS))
    args = parser.parse_args(argv)
    if not os.path.isdir(args.folder):
        parser.error("not a folder: %s" % args.folder)
    if (args.sign or args.release_fault) and not args.release_tool:
        parser.error("--sign and --release-fault need --release-tool")
    if args.tls_certificate != TRUSTED and not args.tls:
        parser.error("--tls-certificate needs --tls")
    return args


def https_context(identity):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(*identity)
    return context


def write_ready_file(path, ftp_port, http_port):
    # Write then rename, so a poller never reads half a file.
    temporary = "%s.%d.tmp" % (path, os.getpid())
    with open(temporary, "w", encoding="utf-8") as ready:
        json.dump({"pid": os.getpid(), "ftp_port": ftp_port, "http_port": http_port}, ready)
    os.replace(temporary, path)


def keep_library_logging_quiet():
    # pyftpdlib logs every session at INFO to stderr unless logging is configured.
    handler = logging.StreamHandler(sys.stderr)
    handler.setFormatter(logging.Formatter("update_server: %(message)s"))
    library_logger = logging.getLogger("pyftpdlib")
    library_logger.addHandler(handler)
    library_logger.setLevel(logging.WARNING)


def main(argv=None):
    args = parse_args(argv)
    root = os.path.realpath(args.folder)
    signed_release.sign_served(args.release_tool, root, args.sign, product=args.release_product,
                               key=args.release_key)
    for fault in args.release_fault:
        signed_release.apply_fault(args.release_tool, root, fault, product=args.release_product,
                                   key=args.release_key)
    keep_library_logging_quiet()
    event_log = EventLog(args.log)
    faults = HttpFaults(args.http_error, args.http_truncate, args.http_drop, args.http_delay,
                        args.http_body, args.http_rate, args.http_cut, args.http_no_range,
                        args.http_etag, args.http_fresh_date, args.http_range_fault)
    if not args.tls:
        return serve(args, root, event_log, faults, None)
    # The server's certificate and key live as long as the server.
    with tempfile.TemporaryDirectory(prefix="update-server-tls-") as identity_folder:
        identity = write_server_identity(args.tls, args.tls_certificate, identity_folder)
        return serve(args, root, event_log, faults, identity)


def serve(args, root, event_log, faults, identity):
    """Both servers until a stop signal; identity: (certificate file, key file) for TLS."""
    try:
        ftp_server = make_ftp_server(
            args.ftp_port, root, args.user, args.password, event_log,
            refuse_login=args.ftp_refuse_login,
            unlistable_folders=args.ftp_unlistable,
            offer_mlsd=not args.no_mlsd,
            list_delay=args.ftp_list_delay,
            greeting_delay=args.ftp_greeting_delay,
            long_line_bytes=args.ftp_long_line,
            drip_listings=args.ftp_drip,
            listed_sizes=args.ftp_listed_size,
            max_logins=args.ftp_max_logins,
            tls_identity=identity,
        )
        http_server = UpdateHttpServer(
            args.http_port, root, event_log, faults,
            tls_context=https_context(identity) if identity else None)
    except OSError as error:
        print("update_server: cannot listen: %s" % error, file=sys.stderr)
        return 1

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    http_thread = threading.Thread(
        target=http_server.serve_forever, kwargs={"poll_interval": STOP_POLL_SECONDS}, daemon=True)
    http_thread.start()
    # Both sockets listen since construction, so connections are accepted from here on.
    if args.ready_file:
        write_ready_file(args.ready_file, ftp_server.address[1], http_server.server_address[1])
    try:
        while not stop.is_set():
            ftp_server.ioloop.loop(timeout=STOP_POLL_SECONDS, blocking=False)
    finally:
        http_server.shutdown()
        http_server.server_close()
        ftp_server.close_all()
        event_log.close()
        if args.ready_file and os.path.exists(args.ready_file):
            os.remove(args.ready_file)
    return 0


if __name__ == "__main__":
    sys.exit(main())

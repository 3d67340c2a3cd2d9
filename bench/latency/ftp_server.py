#!/usr/bin/python3
"""A read-only FTP server (pyftpdlib) for the latency benchmark: it listens
behind the delaying proxy, and its passive replies name the proxy's address,
whose ports of the same numbers lead back to it.

    ftp_server.py ROOT LISTEN_HOST:PORT PASSIVE_FIRST-PASSIVE_LAST PROXY_HOST USER PASSWORD
"""

import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main(root, listen, passive, proxy_host, user, password):
    logging.getLogger("pyftpdlib").setLevel(logging.WARNING)
    first, last = (int(port) for port in passive.split("-"))
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")
    handler = type("BenchFtpHandler", (FTPHandler,), {
        "authorizer": authorizer,
        "masquerade_address": proxy_host,
        "passive_ports": range(first, last + 1),
        # The data connections come from the proxy, as the control connection does.
        "permit_foreign_addresses": True,
    })
    host, _, port = listen.rpartition(":")
    server = FTPServer((host, int(port)), handler)
    server.max_cons = 256
    server.serve_forever()


if __name__ == "__main__":
    main(*sys.argv[1:])

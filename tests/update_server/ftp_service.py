"""Read-only pyftpdlib server for the update folder, with logging and fault switches;
explicit TLS required on the control and data connections when given a certificate."""

import argparse
import itertools
import posixpath
import time

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import (BufferedIteratorProducer, FTPHandler, TLS_DTPHandler,
                                TLS_FTPHandler)
from pyftpdlib.servers import FTPServer

READ_ONLY_PERMISSIONS = "elr"
MLSX_COMMANDS = ("MLSD", "MLST")
LISTING_COMMANDS = ("LIST", "MLSD", "NLST")


def normalize_ftp_folder(folder):
    """'/Produkt/Daten/' and 'Produkt/Daten' both name '/Produkt/Daten'."""
    return posixpath.normpath("/" + folder.strip("/"))


def parse_listed_size_option(value):
    """PATH:BYTES -> (server path, bytes); the size may be past 64 bits."""
    path, _, digits = value.rpartition(":")
    if not path.startswith("/") or not digits.isdigit():
        raise argparse.ArgumentTypeError("expected /PATH:BYTES, got %r" % value)
    return normalize_ftp_folder(path), int(digits)


class _Resized:
    """A file's stat result with another size."""

    def __init__(self, status, size):
        self._status = status
        self.st_size = size

    def __getattr__(self, name):
        return getattr(self._status, name)


class ListedSizesFS(AbstractedFS):
    """Listings (LIST and MLSD) show the sizes of listed_sizes for those files."""
    listed_sizes = {}

    def _resized(self, path, status):
        size = self.listed_sizes.get(self.fs2ftp(path))
        return status if size is None else _Resized(status, size)

    def stat(self, path):
        return self._resized(path, super().stat(path))

    def lstat(self, path):
        return self._resized(path, super().lstat(path))


class RefusingAuthorizer(DummyAuthorizer):
    """Knows the account but refuses every login with 530."""

    def validate_authentication(self, username, password, handler):
        raise AuthenticationFailed("Login refused by test switch.")


class _Drip:
    """A producer handing out one byte per call, a quarter second apart."""

    def __init__(self, data):
        self.data = data

    def more(self):
        if not self.data:
            return b""
        time.sleep(0.25)
        byte, self.data = self.data[:1], self.data[1:]
        return byte


class UpdateFtpHandler(FTPHandler):
    # Configured per server by make_ftp_server through a subclass.
    event_log = None
    unlistable_folders = frozenset()
    list_delay = 0
    greeting_delay = 0
    long_line_bytes = 0
    drip_listings = False
    # Logins at once for the whole server (0: any number), and the
    # connections logged in now; both set per server.
    max_logins = 0
    logged_in = None
    # Real servers delay failed logins; tests should not wait for that.
    auth_failed_timeout = 0
    banner = "Quennvoldar test update server ready."
    _connection_ids = itertools.count(1)

    def __init__(self, conn, server, ioloop=None):
        self.connection_id = next(self._connection_ids)
        super().__init__(conn, server, ioloop)

    def _log(self, **fields):
        self.event_log.write(proto="ftp", conn=self.connection_id, **fields)

    def handle(self):
        # A held greeting is sent later from the I/O loop, which serves
        # every other connection meanwhile.
        if self.greeting_delay:
            self.ioloop.call_later(self.greeting_delay, super().handle)
        else:
            super().handle()

    def on_connect(self):
        self._log(event="connect")

    def on_disconnect(self):
        self.logged_in.discard(self.connection_id)
        self._log(event="disconnect")

    def on_login(self, username):
        self.logged_in.add(self.connection_id)
        self._log(event="login", user=username)

    def ftp_PASS(self, line):
        # As servers that limit an account's sessions answer a login too many.
        if self.max_logins and not self.authenticated and len(self.logged_in) >= self.max_logins:
            self.handle_auth_failed("Too many logins for this account.", line)
            return
        super().ftp_PASS(line)

    def on_login_failed(self, username, password):
        self._log(event="login_failed", user=username)

    def pre_process_command(self, line, cmd, arg):
        self._log(cmd=cmd, arg=None if cmd == "PASS" else arg)
        super().pre_process_command(line, cmd, arg)

    def process_command(self, cmd, *args, **kwargs):
        # A stalled listing is answered later from the I/O loop, which meanwhile
        # serves every other connection and this one's ABOR or QUIT.
        if cmd in LISTING_COMMANDS and self.list_delay:
            self.ioloop.call_later(self.list_delay, super().process_command, cmd, *args, **kwargs)
            return
        super().process_command(cmd, *args, **kwargs)

    def respond(self, resp, *args, **kwargs):
        self._log(reply=int(resp[:3]), text=resp[4:])
        super().respond(resp, *args, **kwargs)

    def ftp_OPTS(self, line):
        # Names are always UTF-8 here; clients that ask for it deserve a yes, not a 501.
        if line.strip().upper() in ("UTF8 ON", "UTF8"):
            self.respond("200 Always in UTF8 mode.")
            return
        super().ftp_OPTS(line)

    def _refuse_unlistable(self, fs_path):
        ftp_path = normalize_ftp_folder(self.fs.fs2ftp(fs_path))
        if ftp_path in self.unlistable_folders:
            self.respond('550 "%s": listing not permitted.' % ftp_path)
            return True
        return False

    def ftp_CWD(self, path):
        if not self._refuse_unlistable(path):
            return super().ftp_CWD(path)

    def _push_long_line(self, cmd):
        """One listing line of long_line_bytes in place of the folder's, sent
        in pieces so that the server's memory stays small."""
        def pieces(size=self.long_line_bytes):
            block = b"x" * 65536
            while size > 0:
                yield block[:size]
                size -= len(block)
            yield b"\r\n"
        self.push_dtp_data(BufferedIteratorProducer(pieces()), isproducer=True, cmd=cmd)

    def _push_dripping_listing(self, cmd):
        """Listing lines sent a byte every quarter second, each byte on its
        own. The I/O loop sleeps meanwhile: this server serves nothing else."""
        lines = b"".join(b"type=file;size=1;modify=20260101000000; tropf%02d.txt\r\n" % index
                         for index in range(6))
        self.push_dtp_data(_Drip(lines), isproducer=True, cmd=cmd)

    def _push_fault_listing(self, cmd):
        """The listing a fault switch asks for in place of the folder's;
        False when none does."""
        if self.drip_listings:
            self._push_dripping_listing(cmd)
        elif self.long_line_bytes:
            self._push_long_line(cmd)
        else:
            return False
        return True

    def ftp_LIST(self, path):
        if self._push_fault_listing("LIST"):
            return path
        if not self._refuse_unlistable(path):
            return super().ftp_LIST(path)

    def ftp_NLST(self, path):
        if not self._refuse_unlistable(path):
            return super().ftp_NLST(path)

    def ftp_MLSD(self, path):
        if self._push_fault_listing("MLSD"):
            return path
        if not self._refuse_unlistable(path):
            return super().ftp_MLSD(path)


class TlsDataConnection(TLS_DTPHandler):
    """curl begins a data connection's handshake before it sends the transfer
    command; pyftpdlib would take those early bytes for a hang-up."""

    def readable(self):
        return self._ssl_accepting or super().readable()


class TlsUpdateFtpHandler(UpdateFtpHandler, TLS_FTPHandler):
    """AUTH TLS before the login, PROT P before every data connection."""
    tls_control_required = True
    tls_data_required = True
    dtp_handler = TlsDataConnection


def make_ftp_server(port, root, user, password, event_log,
                    refuse_login=False, unlistable_folders=(), offer_mlsd=True, list_delay=0,
                    greeting_delay=0, long_line_bytes=0, drip_listings=False, listed_sizes=(),
                    max_logins=0, tls_identity=None):
    """max_logins: logins at once (0: any number); listed_sizes: (server path, bytes) pairs the listings show instead of
    the files' sizes; tls_identity: (certificate file, key file) for explicit
    TLS, or None."""
    base = UpdateFtpHandler if tls_identity is None else TlsUpdateFtpHandler
    authorizer = RefusingAuthorizer() if refuse_login else DummyAuthorizer()
    authorizer.add_user(user, password, root, perm=READ_ONLY_PERMISSIONS)
    attributes = {
        "authorizer": authorizer,
        "event_log": event_log,
        "unlistable_folders": frozenset(normalize_ftp_folder(f) for f in unlistable_folders),
        "list_delay": list_delay,
        "greeting_delay": greeting_delay,
        "long_line_bytes": long_line_bytes,
        "drip_listings": drip_listings,
        "max_logins": max_logins,
        "logged_in": set(),
        "abstracted_fs": type("ConfiguredFs", (ListedSizesFS,),
                              {"listed_sizes": dict(listed_sizes)}),
    }
    if tls_identity is not None:
        attributes["certfile"], attributes["keyfile"] = tls_identity
    if not offer_mlsd:
        # Unknown commands get pyftpdlib's 500 and FEAT stops advertising MLST.
        attributes["proto_cmds"] = {
            name: info for name, info in base.proto_cmds.items()
            if name not in MLSX_COMMANDS
        }
    handler = type("ConfiguredFtpHandler", (base,), attributes)
    return FTPServer(("127.0.0.1", port), handler)

"""Per-URL-path fault plan for the HTTP side, parsed from command-line options."""

import argparse
import threading
from urllib.parse import unquote

UNLIMITED = None


def _normalize_url_path(path):
    # Options may be given encoded or plain; requests are matched decoded.
    if not path.startswith("/"):
        raise argparse.ArgumentTypeError("URL path must start with '/': %r" % path)
    try:
        return unquote(path, errors="strict")
    except UnicodeDecodeError:
        raise argparse.ArgumentTypeError("URL path is not UTF-8 once decoded: %r" % path)


def _split_trailing_numbers(value, max_numbers):
    """Split 'PATH:1:2' into ('PATH', [1, 2]); only trailing integer fields count."""
    parts = value.split(":")
    numbers = []
    while len(parts) > 1 and len(numbers) < max_numbers and parts[-1].isdigit():
        numbers.insert(0, int(parts.pop()))
    return ":".join(parts), numbers


def parse_error_option(value):
    """PATH:N[:STATUS] -> (path, count, status); STATUS defaults to 500."""
    path, numbers = _split_trailing_numbers(value, 2)
    if not numbers:
        raise argparse.ArgumentTypeError("expected PATH:N[:STATUS], got %r" % value)
    count = numbers[0]
    status = numbers[1] if len(numbers) == 2 else 500
    if not 100 <= status <= 599:
        raise argparse.ArgumentTypeError("status out of range: %d" % status)
    return _normalize_url_path(path), count, status


def parse_path_option(value):
    """PATH[:N] -> (path, count); without N the fault hits every request."""
    path, numbers = _split_trailing_numbers(value, 1)
    count = numbers[0] if numbers else UNLIMITED
    return _normalize_url_path(path), count


def parse_delay_option(value):
    """PATH:SECONDS -> (path, seconds)."""
    path, numbers = _split_trailing_numbers(value, 1)
    if not numbers:
        raise argparse.ArgumentTypeError("expected PATH:SECONDS, got %r" % value)
    return _normalize_url_path(path), numbers[0]


RANGE_FAULT_KINDS = ("other-etag", "other-total")


def parse_range_fault_option(value):
    """KIND:PATH -> (path, kind)."""
    kind, separator, path = value.partition(":")
    if not separator or kind not in RANGE_FAULT_KINDS:
        raise argparse.ArgumentTypeError(
            "expected KIND:PATH with KIND one of %s, got %r" % (", ".join(RANGE_FAULT_KINDS), value))
    return _normalize_url_path(path), kind


def parse_body_option(value):
    """PATH=FILE -> (path, the file's bytes)."""
    path, separator, file_name = value.partition("=")
    if not separator:
        raise argparse.ArgumentTypeError("expected PATH=FILE, got %r" % value)
    try:
        with open(file_name, "rb") as body:
            return _normalize_url_path(path), body.read()
    except OSError as error:
        raise argparse.ArgumentTypeError("cannot read %s: %s" % (file_name, error))


class HttpFaults:
    """Remaining fault budgets, consumed request by request across all connections."""

    def __init__(self, errors=(), truncates=(), drops=(), delays=(), bodies=(), rates=(),
                 cuts=(), ignores_ranges=False, etags=False, fresh_dates=(), range_faults=()):
        self._lock = threading.Lock()
        self.etags = etags
        self._fresh_dates = {_normalize_url_path(path) for path in fresh_dates}
        self._range_faults = dict(range_faults)
        self._bodies = dict(bodies)
        self._rates = dict(rates)
        self._cuts = dict(cuts)
        self.ignores_ranges = ignores_ranges
        self._errors = {path: [count, status] for path, count, status in errors}
        self._truncates = dict(truncates)
        self._drops = dict(drops)
        self._delays = dict(delays)

    @staticmethod
    def _consume(budgets, path):
        if path not in budgets:
            return False
        remaining = budgets[path]
        if remaining is UNLIMITED:
            return True
        if remaining <= 0:
            return False
        budgets[path] = remaining - 1
        return True

    def take_error_status(self, path):
        """Status to answer instead of the resource, or None."""
        with self._lock:
            entry = self._errors.get(path)
            if entry is None or entry[0] <= 0:
                return None
            entry[0] -= 1
            return entry[1]

    def take_drop(self, path):
        with self._lock:
            return self._consume(self._drops, path)

    def take_truncate(self, path):
        with self._lock:
            return self._consume(self._truncates, path)

    def delay_seconds(self, path):
        """How long every request for the path waits before its answer."""
        return self._delays.get(path, 0)

    def replaced_body(self, path):
        """The bytes served for the path in place of its file, or None."""
        return self._bodies.get(path)

    def bytes_per_second(self, path):
        """The pace of the path's bodies, or None for full speed."""
        return self._rates.get(path)

    def fresh_date(self, path):
        """Whether the path's Last-Modified is the response's own Date."""
        return path in self._fresh_dates

    def range_fault(self, path):
        """How the path's 206 answers are spoiled ("other-etag", "other-total"), or None."""
        return self._range_faults.get(path)

    def cut_bytes(self, path):
        """How much of each body of the path is sent before the connection
        is closed, or None for all of it."""
        return self._cuts.get(path)

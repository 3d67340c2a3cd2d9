"""Append-only JSON-lines log shared by the FTP and HTTP sides."""

import json
import threading
import time


class EventLog:
    """One JSON object per line, flushed at once so tests can read it live.

    With no path every event is discarded; the servers log unconditionally.
    """

    def __init__(self, path):
        self._lock = threading.Lock()
        self._file = open(path, "a", encoding="utf-8") if path else None

    def write(self, **fields):
        if self._file is None:
            return
        line = json.dumps({"time": round(time.time(), 3), **fields}, ensure_ascii=False)
        # HTTP worker threads and the FTP loop write concurrently.
        with self._lock:
            self._file.write(line + "\n")
            self._file.flush()

    def close(self):
        with self._lock:
            if self._file is not None:
                self._file.close()
                self._file = None

"""Signed releases on the test server: the served folders are signed with the
vendor's command, then spoiled in the ways a hijacked server or a stale
mirror would spoil them.

A fault is KIND:FOLDER or KIND:FILE, paths relative to the served root:
  tampered:FILE     one byte of the file changed after signing
  unlisted:FILE     a file added after signing
  missing:FOLDER    the folder has no manifest
  bad-signature:FOLDER   one digit of the manifest's signature changed
  other-key:FOLDER  signed by a key of nobody's making
  expired:FOLDER    a manifest that expired as it was made
  older:FOLDER      the folder's last release signed again with the number before
"""

import os
import subprocess
import tempfile

MANIFEST_NAME = "quennvoldar-release.txt"
HERE = os.path.dirname(os.path.abspath(__file__))
TEST_KEY = os.path.join(HERE, "..", "keys", "test-release.secret")
TEST_PUBLIC_KEY = "00595d2a070b68d36c5a5451ec8c94b9c40093470d7e16a3b7c0bbb12d826c45"
FAULT_KINDS = ("tampered", "unlisted", "missing", "bad-signature", "other-key", "expired",
               "older")


def parse_fault(text):
    kind, _, path = text.partition(":")
    if kind not in FAULT_KINDS or not path:
        raise ValueError("not KIND:PATH with KIND one of %s: %s" % (", ".join(FAULT_KINDS), text))
    return kind, path


def tool_command(tool):
    """The command as it runs here: the Windows build's runs under Wine,
    which reads the Unix paths given to it on drive Z:."""
    if tool.endswith(".exe"):
        return [os.path.join(HERE, "..", "..", "scripts", "wine-run.sh"), tool]
    return [tool]


def sign(tool, folders, key=TEST_KEY, valid_days=None, release=None):
    """Writes each folder's manifest with the next release number (or the
    one given)."""
    options = [] if valid_days is None else ["--valid-days", str(valid_days)]
    options += [] if release is None else ["--release", str(release)]
    subprocess.run([*tool_command(tool), "sign", key, *options, *folders], check=True,
                   stdout=subprocess.DEVNULL)


def release_of(folder):
    with open(manifest_path(folder), encoding="utf-8") as manifest:
        for line in manifest:
            if line.startswith("release "):
                return int(line.split()[1])
    raise ValueError("no release number in " + manifest_path(folder))


def manifest_path(folder):
    return os.path.join(folder, MANIFEST_NAME)


def apply_fault(tool, root, kind, path):
    """Spoils the signed tree under root as the fault says."""
    target = os.path.join(root, path)
    if kind == "tampered":
        # Size and date stay, as the listing showed them.
        times = os.stat(target)
        with open(target, "r+b") as file:
            first = file.read(1)
            file.seek(0)
            file.write(bytes([(first[0] if first else 0) ^ 0x01]))
        os.utime(target, ns=(times.st_atime_ns, times.st_mtime_ns))
    elif kind == "unlisted":
        with open(target, "wb") as file:
            file.write(b"nicht freigegeben\n")
    elif kind == "missing":
        os.remove(manifest_path(target))
    elif kind == "bad-signature":
        with open(manifest_path(target), "r+b") as file:
            text = file.read()
            at = text.rindex(b"signature ") + len(b"signature ")
            file.seek(at)
            file.write(b"1" if text[at:at + 1] != b"1" else b"2")
    elif kind == "other-key":
        with tempfile.TemporaryDirectory() as keys:
            other = os.path.join(keys, "other.secret")
            subprocess.run([*tool_command(tool), "keygen", other], check=True,
                           stdout=subprocess.DEVNULL)
            sign(tool, [target], key=other)
    elif kind == "expired":
        sign(tool, [target], valid_days=0)
    elif kind == "older":
        sign(tool, [target], release=release_of(target) - 1)

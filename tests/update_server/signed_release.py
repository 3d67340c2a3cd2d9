"""Signed releases on the test server: the served folders are signed with the
vendor's command, then spoiled in the ways a hijacked server or a stale
mirror would spoil them.

The updater's own folder ("Quennvoldar", or "vask/updates/Quennvoldar") is
signed as the folder "updater", every other one as "product".

A fault is KIND:FOLDER or KIND:FILE, paths relative to the served root:
  tampered:FILE     one byte of the file changed after signing (size and date kept)
  swapped:FILE      the file's bytes replaced by as many others after signing
                    (size and date kept)
  withheld:FILE     the file deleted after signing
  dated:FILE:EPOCH  the file's date set to EPOCH after signing (bytes kept)
  unlisted:FILE     a file added after signing
  missing:FOLDER    the folder has no manifest
  bad-signature:FOLDER   one digit of the manifest's signature changed
  other-key:FOLDER  signed by a key of nobody's making
  other-product:FOLDER   signed with the same key for another product
  wrong-folder:FOLDER    signed as the other folder of the product
  release:FOLDER:N  signed again with release number N
  expired:FOLDER    signed again with a manifest that expired as it was made
  older:FOLDER      the folder's last release signed again with the number before
"""

import os
import subprocess
import tempfile
import time

MANIFEST_NAME = "quennvoldar-release.txt"
HERE = os.path.dirname(os.path.abspath(__file__))
TEST_KEY = os.path.join(HERE, "..", "keys", "test-release.secret")
TEST_PUBLIC_KEY = "00595d2a070b68d36c5a5451ec8c94b9c40093470d7e16a3b7c0bbb12d826c45"
TEST_PRODUCT = "quennvoldar-sample"
OTHER_PRODUCT = "anderes-produkt"
UPDATER_FOLDERS = ("Quennvoldar", "vask/updates/Quennvoldar")
FAULT_KINDS = ("tampered", "swapped", "withheld", "dated", "unlisted", "missing", "bad-signature",
               "other-key", "other-product", "wrong-folder", "release", "expired", "older")
# Kinds whose path is followed by ":NUMBER".
NUMBERED_KINDS = ("dated", "release")


def parse_fault(text):
    """(KIND, PATH, NUMBER or None) of KIND:PATH or KIND:PATH:NUMBER."""
    kind, _, path = text.partition(":")
    number = None
    if kind in NUMBERED_KINDS:
        path, _, digits = path.rpartition(":")
        number = int(digits) if digits.isdigit() else None
        if number is None:
            raise ValueError("not %s:PATH:NUMBER: %s" % (kind, text))
    if kind not in FAULT_KINDS or not path:
        raise ValueError("not KIND:PATH with KIND one of %s: %s" % (", ".join(FAULT_KINDS), text))
    return kind, path, number


def tool_command(tool):
    """The command as it runs here: the Windows build's runs under Wine,
    which reads the Unix paths given to it on drive Z:."""
    if tool.endswith(".exe"):
        return [os.path.join(HERE, "..", "..", "scripts", "wine-run.sh"), tool]
    return [tool]


def folder_role(relative):
    """The role a served folder is signed for: "updater" or "product"."""
    return "updater" if relative.strip("/") in UPDATER_FOLDERS else "product"


def sign(tool, folders, role, product=TEST_PRODUCT, key=TEST_KEY, release=None):
    """Writes each folder's manifest for the product and role, with the next
    release number (or the one given)."""
    options = ["--product", product, "--folder", role]
    options += [] if release is None else ["--release", str(release)]
    subprocess.run([*tool_command(tool), "sign", key, *options, *folders], check=True,
                   stdout=subprocess.DEVNULL)


def sign_served(tool, root, folders, product=TEST_PRODUCT, key=TEST_KEY):
    """Signs served folders (relative to root), each for its role; one run of
    the command for each role, as a run under Wine takes a while."""
    for role in ("updater", "product"):
        mine = [os.path.join(root, f) for f in folders if folder_role(f) == role]
        if mine:
            sign(tool, mine, role, product=product, key=key)


def release_of(folder):
    with open(manifest_path(folder), encoding="utf-8") as manifest:
        for line in manifest:
            if line.startswith("release "):
                return int(line.split()[1])
    raise ValueError("no release number in " + manifest_path(folder))


def manifest_path(folder):
    return os.path.join(folder, MANIFEST_NAME)


def expire_now(folder, key=TEST_KEY):
    """Signs the folder's manifest again with an expiry of now, which the
    command never gives."""
    # Only this fault needs python3-cryptography.
    from cryptography.hazmat.primitives.asymmetric.ed25519 import Ed25519PrivateKey
    # The key file holds libsodium's secret key: the seed, then the public key.
    with open(key, encoding="ascii") as key_file:
        seed = bytes.fromhex(key_file.read().strip())[:32]
    with open(manifest_path(folder), "rb") as manifest:
        text = manifest.read()
    content = text[:text.rindex(b"signature ")]
    now = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime()).encode()
    lines = [b"expires " + now if line.startswith(b"expires ") else line
             for line in content.split(b"\n")]
    content = b"\n".join(lines)
    signature = Ed25519PrivateKey.from_private_bytes(seed).sign(content)
    with open(manifest_path(folder), "wb") as manifest:
        manifest.write(content + b"signature " + signature.hex().encode() + b"\n")


def flip_first_byte(content):
    return bytes([content[0] ^ 0x01]) + content[1:] if content else b"\x01"


def flip_every_byte(content):
    if not content:
        raise ValueError("an empty file has no other bytes of its size")
    return bytes(byte ^ 0xA5 for byte in content)


def rewrite_keeping_date(path, change):
    """Replaces the file's bytes by change(bytes); the date stays as the
    listing showed it."""
    times = os.stat(path)
    with open(path, "r+b") as file:
        content = file.read()
        file.seek(0)
        file.write(change(content))
    os.utime(path, ns=(times.st_atime_ns, times.st_mtime_ns))


def apply_fault(tool, root, fault, product=TEST_PRODUCT, key=TEST_KEY):
    """Spoils the signed tree under root as the fault (from parse_fault) says;
    a folder signed again is signed with the key and for the product unless
    the fault says otherwise."""
    kind, path, number = fault
    target = os.path.join(root, path)
    role = folder_role(path)
    if kind == "tampered":
        rewrite_keeping_date(target, flip_first_byte)
    elif kind == "swapped":
        rewrite_keeping_date(target, flip_every_byte)
    elif kind == "withheld":
        os.remove(target)
    elif kind == "dated":
        os.utime(target, (number, number))
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
            sign(tool, [target], role, product=product, key=other)
    elif kind == "other-product":
        sign(tool, [target], role, product=OTHER_PRODUCT, key=key)
    elif kind == "wrong-folder":
        sign(tool, [target], "product" if role == "updater" else "updater", product=product,
             key=key)
    elif kind == "release":
        sign(tool, [target], role, product=product, key=key, release=number)
    elif kind == "expired":
        sign(tool, [target], role, product=product, key=key)
        expire_now(target, key)
    elif kind == "older":
        sign(tool, [target], role, product=product, key=key, release=release_of(target) - 1)

#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/.

The seeds are checked in; run this again only to change them. Each seed is
a small, well-formed example of one form the target reads, so the fuzzer
starts from every branch of the format instead of from nothing.

Files named by a SHA-1 in corpus/zip_extract/ are the inputs a ten-minute run
found (minimised with -merge=1): short runs start deep inside libzip with them.
"""
import io
import pathlib
import zipfile

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"
REPO = CORPUS.parent.parent


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def utf16(text, big_endian):
    return (b"\xfe\xff" if big_endian else b"\xff\xfe") + text.encode(
        "utf-16-be" if big_endian else "utf-16-le")


# ---- List files ----

write("list_file", "ansi", b"Zeile 1\r\nGr\xfc\xdfe \x80 \x81\r\n")
write("list_file", "utf8_bom", b"\xef\xbb\xbfGr\xc3\xbc\xc3\x9fe\nkaputt \xc3\x28\r\n\xf0\x9f\x98\x80\r")
write("list_file", "utf16le_surrogates",
      b"\xff\xfe" + "a\r\n".encode("utf-16-le") + b"\x00\xd8" + "b\r\n".encode("utf-16-le")
      + "😀".encode("utf-16-le"))
write("list_file", "utf16be_odd", utf16("Zeile\r\nzwei\n", True) + b"\x00")
write("list_file", "line_ends", b"a\rb\nc\r\n\r\n\n\rd")

# ---- Configuration ----

def config(lines):
    return "".join(line + "\r\n" for line in lines)


base = ["Produkt-Mutex", "Produkt V1.43", "C:\\Programme\\Produkt\\main.exe", "Produkt",
        "14 Times New Roman", "1 $FF 0x00FF00"] + [""] * 14 + ["0"]
write("config", "ansi", config(base).encode("cp1252"))
write("config", "utf16be", utf16(config(base[:4] + ["  24   Ärial  ", "0 -5 $FFFFFFFF"]), True))
write("config", "utf8_bom", b"\xef\xbb\xbf" + config(
    ["M", "F", "/opt/p/main", "A\\B/", "x", "1 2 3 4"]).encode())
write("config", "refused", config(["M", "F", "/opt/p/main", "..\\..\\etc"]).encode())

# ---- FTP listings (three bytes choose the current date first) ----

NOW = bytes([46, 11, 9])
for name, line in [
        ("mlsd_file", "type=file;size=12;modify=20261210101559.123; Setup Teil 1.zip"),
        ("mlsd_dir", "Type=DIR;Modify=20261210101559;UNIX.mode=0755; Daten"),
        ("mlsd_cdir", "type=cdir;modify=20261210101559; /updates/Produkt"),
        ("unix_time", "-rw-r--r--   1 owner group     1234 Dec 10 10:15 main program.exe"),
        ("unix_year", "drwxr-xr-x+  2 0 0 4096 Feb 29  2024 Daten"),
        ("unix_link", "lrwxrwxrwx 1 o g 7 Jan  1 00:00 neu -> ../alt"),
        ("dos_dir", "12-10-26  10:15AM       <DIR>          Daten"),
        ("dos_file", "02-29-2024  12:00PM            123456 Grosse Datei.bin\r\n"),
        ("total", "total 12")]:
    write("ftp_listing", name, NOW + line.encode())

# ---- Job files ----

write("job_lines", "delete_and_sweep", b"l Daten\\alt.dll\r\nS Daten\\\r\nl   top.txt  \r\n")
write("job_lines", "climbing", b"l ..\\outside.txt\r\ns Daten\\..\\..\\\r\nl /etc/passwd\r\n")
write("job_lines", "own_folder", b"s ./\r\nl l\r\nx Daten\\a.txt\r\n")

# ---- Version resources ----

for exe in sorted((REPO / "tests" / "data").glob("*.exe")):
    write("pe_version", exe.name, exe.read_bytes())

# ---- Download addresses (path below the update folder) ----

write("url_encode", "plain", b"Produkt/Daten/Setup.zip")
write("url_encode", "marks", "Grüße/a b/x*<>#%\"{}|\\^[]`+.txt\x7f\t".encode())

# ---- Archives ----

class Cp437Info(zipfile.ZipInfo):
    """An entry whose name is stored in CP437 without the UTF-8 flag, as old
    packers write it (zipfile itself would store UTF-8 and set the flag)."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("cp437"), self.flag_bits & ~0x0800


def archive(entries):
    """entries: (name, data or None for a folder, method, DOS attributes or None)."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for name, data, method, attributes in entries:
            info_type = Cp437Info if name.startswith("cp437:") else zipfile.ZipInfo
            info = info_type(name.removeprefix("cp437:"), (2021, 3, 4, 5, 6, 8))
            info.compress_type = method
            if attributes is not None:
                info.create_system = 0
                info.external_attr = attributes
            z.writestr(info, b"" if data is None else data)
    return buffer.getvalue()


STORED, DEFLATED = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
write("zip_extract", "stored.zip", archive([("bin/tool.exe", b"tool bytes", STORED, None)]))
write("zip_extract", "deflate.zip", archive([("doc/", None, STORED, None),
                                             ("doc/readme.txt", b"hallo " * 40, DEFLATED, 0x01)]))
write("zip_extract", "cp437.zip", archive([("cp437:Grüße.txt", b"cp437", DEFLATED, None)]))
write("zip_extract", "utf8.zip", archive([("ärger/öl.txt", b"utf8", DEFLATED, None),
                                          ("Back\\slash.txt", b"b", STORED, None)]))
write("zip_extract", "climbing.zip", archive([("ok.txt", b"ok", STORED, None),
                                              ("../daneben.txt", b"evil", STORED, None)]))
write("zip_extract", "climbing_backslash.zip",
      archive([("a\\..\\..\\Nachbar\\x.txt", b"evil", DEFLATED, None)]))
write("zip_extract", "absolute.zip", archive([("/tmp/qv-evil.txt", b"evil", STORED, None)]))

#!/usr/bin/env bash
# Lays out the demo's sample product for the Linux and the Windows demo alike:
# an installed old version and the new version in the update server's folder.
#
#   scripts/demo-product.sh INSTALLED SERVER UPDATER MAIN_PROGRAM
#
# UPDATER and MAIN_PROGRAM are the built programs; they keep their file names
# in INSTALLED. Windows programs end in ".exe", so the server's second copy
# of the updater does too.
set -euo pipefail

if [[ $# -ne 4 ]]; then
    echo "usage: demo-product.sh INSTALLED SERVER UPDATER MAIN_PROGRAM" >&2
    exit 2
fi
installed=$1 server=$2 updater=$3 main_program=$4
exe_suffix=
if [[ $updater == *.exe ]]; then exe_suffix=.exe; fi

# ---- The installed old version ----
mkdir -p "$installed/Daten" "$installed/Alt"
cp "$main_program" "$installed/"
cp "$updater" "$installed/"
printf 'Produkt 1.43\r\n' > "$installed/liesmich.txt"
printf 'alte Bibliothek\n' > "$installed/Daten/alt.dll"
printf 'veraltet\n' > "$installed/Alt/veraltet.txt"
printf 'bleibt\n' > "$installed/Alt/behalten.txt"
printf 'unverändert\n' > "$installed/Daten/gleich.txt"

# ---- The new version on the update server ----
mkdir -p "$server/Quennvoldar" "$server/Produkt/Daten/Bilder" "$server/Produkt/Alt"
cp "$updater" "$server/Quennvoldar/Quennvoldar2$exe_suffix"
printf 'Produkt 1.44\r\nNeu in dieser Fassung: alles.\r\n' > "$server/Produkt/liesmich.txt"
printf 'ein Bild\n' > "$server/Produkt/Daten/Bilder/logo.dat"
printf 'mit Leerzeichen und Umlaut\n' > "$server/Produkt/Daten/Neue Datei ä.txt"
cp "$installed/Daten/gleich.txt" "$server/Produkt/Daten/gleich.txt"
printf 'bleibt\n' > "$server/Produkt/Alt/behalten.txt"
printf 'l Daten\\alt.dll\r\ns Alt\\\r\n' > "$server/Produkt/Quennvoldar.job"
python3 - "$server/Produkt/Hilfe.zip" << 'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    archive.writestr("Hilfe/index.txt", "Hilfe zum Produkt\n" * 50)
    archive.writestr("Hilfe/Kapitel 1.txt", "Erste Schritte\n")
EOF

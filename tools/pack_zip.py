"""Packs files into a zip that is the same bytes every time: sorted entries, one fixed time
(the last commit's), fixed permissions.
    pack_zip.py ZIP EPOCH FOLDER"""
import os
import sys
import time
import zipfile

archive, epoch, folder = sys.argv[1], int(sys.argv[2]), sys.argv[3]
# Zip times are local-less and start in 1980.
stamp = time.gmtime(max(epoch, 315532800))[:6]
with zipfile.ZipFile(archive + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as out:
    for name in sorted(os.listdir(folder)):
        entry = zipfile.ZipInfo(name, date_time=stamp)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = 0o644 << 16
        entry.create_system = 0
        with open(os.path.join(folder, name), "rb") as data:
            out.writestr(entry, data.read())
os.replace(archive + ".tmp", archive)

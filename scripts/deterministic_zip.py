"""Writes a zip whose bytes depend only on the files' contents and names.

    /usr/bin/python3 scripts/deterministic_zip.py ZIP EPOCH FOLDER FILE...

Each FILE (a path inside FOLDER, with "/") is stored in the given order, deflated, stamped with
EPOCH (seconds since 1970, as UTC) and with the permissions rw-r--r--, without the extra fields
that other tools add (owner, access and change times), so that two builds of one commit give the
same zip wherever, whenever and by whom they are made.
"""
import os
import sys
import time
import zipfile


def main(arguments):
    if len(arguments) < 4:
        sys.exit(__doc__)
    target, epoch, folder, names = arguments[0], int(arguments[1]), arguments[2], arguments[3:]
    # A zip's times are local times without a zone; those of the downloads are UTC. The format
    # knows no time before 1980.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    temporary = target + ".part"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name in names:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 3  # Unix, so that the permissions below are read as such
            entry.external_attr = 0o100644 << 16
            with open(os.path.join(folder, name), "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(temporary, target)


if __name__ == "__main__":
    main(sys.argv[1:])

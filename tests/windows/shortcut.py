"""Prints what a Windows shortcut (.lnk) starts, one "key=value" line each: target, arguments,
working_directory, description.

    /usr/bin/python3 tests/windows/shortcut.py FILE.lnk

The target is the link's local path; the strings follow the link's flags in the file's fixed
order. Raises on a file that is not a shell link.
"""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH = 0x01, 0x02, 0x04, 0x08
HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON, IS_UNICODE = 0x10, 0x20, 0x40, 0x80
LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")


def read_shortcut(data: bytes) -> dict:
    if len(data) < 76 or struct.unpack_from("<I", data, 0)[0] != 0x4C or data[4:20] != LINK_CLSID:
        raise ValueError("not a shell link")
    flags = struct.unpack_from("<I", data, 20)[0]
    at = 76
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    result = {"target": ""}
    if flags & HAS_LINK_INFO:
        size, _header, info_flags, _volume, local_path = struct.unpack_from("<5I", data, at)
        if info_flags & 1:
            end = data.index(b"\0", at + local_path)
            result["target"] = data[at + local_path:end].decode("mbcs" if sys.platform == "win32" else "latin-1")
        at += size
    width = 2 if flags & IS_UNICODE else 1
    for flag, key in ((HAS_NAME, "description"), (HAS_RELATIVE_PATH, "relative_path"),
                      (HAS_WORKING_DIR, "working_directory"), (HAS_ARGUMENTS, "arguments"), (HAS_ICON, "icon")):
        if not flags & flag:
            continue
        count = struct.unpack_from("<H", data, at)[0]
        raw = data[at + 2:at + 2 + count * width]
        if len(raw) != count * width:
            raise ValueError("a string runs past the end of the link")
        # Some writers count and store a terminating zero as well.
        result[key] = raw.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
        at += 2 + count * width
    return result


def main(arguments):
    if len(arguments) != 1:
        sys.exit(__doc__)
    with open(arguments[0], "rb") as link:
        fields = read_shortcut(link.read())
    for key in ("target", "arguments", "working_directory", "description"):
        print(f"{key}={fields.get(key, '')}")


if __name__ == "__main__":
    main(sys.argv[1:])

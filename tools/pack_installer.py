#!/usr/bin/env python3
"""Packs a per-shop installer: program image + ZIP archive + settings block + 256-byte trailer.

    pack_installer.py --exe Installer.exe --folder app/ --out Setup.exe \
        --special-code 0123456789_ABCDEFGH --shop-name "写真館" \
        --major 1 --minor 7 --release 0 --build 2 --labo 0

Layout of the output, with no gaps:
  program image   the given .exe, byte for byte
  archive         a ZIP of the folder's files (deflate; names in CP932 without the UTF-8 flag,
                  as Japanese ZIP tools write them)
  settings block  CP932 ini text with CR LF line ends: one section ":Installer"
  trailer         256 bytes: "LUMIVERAINSTALLER" in UTF-16LE padded with zeros to 80 bytes, then
                  ExeSize, ZipSize, RequiredSize, SettingsSize (little-endian signed 64-bit),
                  then 144 zero bytes. RequiredSize is the sum of the unpacked file sizes.

The options under "deliberately broken output" exist so that tests can make installers that the
trailer reader must refuse. Standard library only.
"""

import argparse
import io
import os
import struct
import sys
import time
import zipfile

MARKER = "LUMIVERAINSTALLER"
MARKER_BYTES = 80
TRAILER_SIZE = 256
SETTINGS_SECTION = ":Installer"
SETTINGS_KEYS = ("SpecialCode", "ShopName", "MajorVersion", "MinorVersion", "ReleaseVersion",
                 "Labo", "Build")
UTF8_NAME_FLAG = 1 << 11


class Cp932ZipInfo(zipfile.ZipInfo):
    """An entry whose name is stored as CP932 bytes with the UTF-8 flag cleared."""

    __slots__ = ("raw_name",)

    def _encodeFilenameFlags(self):
        return self.raw_name, self.flag_bits & ~UTF8_NAME_FLAG


def zip_entry(name, date_time, is_dir):
    info = Cp932ZipInfo(name, date_time)
    try:
        info.raw_name = name.encode("cp932")
    except UnicodeEncodeError as e:
        raise SystemExit("pack_installer: name not representable in CP932: %r (%s)" % (name, e))
    info.create_system = 0  # MS-DOS, as Windows tools write it
    if is_dir:
        info.compress_type = zipfile.ZIP_STORED
        info.external_attr = 0x10  # FILE_ATTRIBUTE_DIRECTORY
    else:
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
    return info


def dos_time(seconds):
    t = time.localtime(seconds)
    # A ZIP date cannot hold years before 1980.
    return max(t[:6], (1980, 1, 1, 0, 0, 0))


def build_archive(folder, fixed_time):
    """Returns (archive bytes, sum of the unpacked file sizes)."""
    if not os.path.isdir(folder):
        raise SystemExit("pack_installer: not a folder: %s" % folder)
    out = io.BytesIO()
    required = 0
    with zipfile.ZipFile(out, "w") as zf:
        for root, dirs, files in os.walk(folder):
            dirs.sort()
            rel_root = os.path.relpath(root, folder)
            prefix = "" if rel_root == "." else rel_root.replace(os.sep, "/") + "/"
            if prefix:
                stamp = fixed_time or dos_time(os.stat(root).st_mtime)
                zf.writestr(zip_entry(prefix, stamp, True), b"")
            for name in sorted(files):
                path = os.path.join(root, name)
                with open(path, "rb") as f:
                    data = f.read()
                required += len(data)
                stamp = fixed_time or dos_time(os.stat(path).st_mtime)
                zf.writestr(zip_entry(prefix + name, stamp, False), data)
    return out.getvalue(), required


# The mapping the installer's ini documents apply before they write ANSI text, so that the
# settings block holds what the installer itself would have written.
SAVE_UNITS = {0x2011: "-", 0x2012: "-", 0x2013: "-", 0x2014: "\u2015", 0x203E: "\uFFE3",
              0x2212: "\uFF0D", 0xFE58: "\uFF0D", 0xFE63: "\uFF0D",
              0x525D: "\u5265", 0x5861: "\u586B", 0x9830: "\u982C", 0x20B9F: "\u53F1"}


def normalize_saved_text(text):
    return text.translate(SAVE_UNITS)


def build_settings(args):
    values = {
        "SpecialCode": args.special_code,
        "ShopName": args.shop_name,
        "MajorVersion": args.major,
        "MinorVersion": args.minor,
        "ReleaseVersion": args.release,
        "Labo": args.labo,
        "Build": args.build,
    }
    lines = ["[" + SETTINGS_SECTION + "]"]
    for key in SETTINGS_KEYS:
        if key in args.omit_key or values[key] is None:
            continue
        lines.append("%s=%s" % (key, values[key]))
    lines.append("")
    text = normalize_saved_text("".join(line + "\r\n" for line in lines))
    try:
        return text.encode("cp932")
    except UnicodeEncodeError as e:
        raise SystemExit("pack_installer: settings not representable in CP932 (%s)" % e)


def int64(value):
    """Packs any value from -2**63 to 2**64 - 1 as 8 little-endian bytes (two's complement)."""
    if not -(1 << 63) <= value < (1 << 64):
        raise SystemExit("pack_installer: size out of 64-bit range: %d" % value)
    return struct.pack("<Q", value & 0xFFFFFFFFFFFFFFFF)


def build_trailer(marker, exe_size, zip_size, required_size, settings_size):
    raw = marker.encode("utf-16-le")[:MARKER_BYTES]
    trailer = raw + bytes(MARKER_BYTES - len(raw))
    trailer += int64(exe_size) + int64(zip_size) + int64(required_size) + int64(settings_size)
    trailer += bytes(TRAILER_SIZE - len(trailer))
    assert len(trailer) == TRAILER_SIZE
    return trailer


def unescape(text):
    """Backslash escapes (\\t, \\0, \\x41, \\u2014 ...) so that test recipes can put control
    characters into the marker from a command line."""
    return text.encode("latin-1", "backslashreplace").decode("unicode_escape")


def parse_args(argv):
    p = argparse.ArgumentParser(description="Append the installer payload to a program image.")
    p.add_argument("--exe", required=True, help="program image (the built installer .exe)")
    p.add_argument("--folder", required=True, help="folder whose files the archive holds")
    p.add_argument("--out", required=True, help="installer file to write")
    p.add_argument("--special-code", required=True, help='shop code, e.g. "0123456789_ABCDEFGH"')
    p.add_argument("--shop-name", default=None, help="shop display name")
    p.add_argument("--major", default="1")
    p.add_argument("--minor", default="0")
    p.add_argument("--release", default="0")
    p.add_argument("--build", default="0")
    p.add_argument("--labo", default="0", choices=("0", "1"))
    p.add_argument("--fixed-time", default=None, metavar="YYYY-MM-DDTHH:MM:SS",
                   help="time stamp of every entry (reproducible output); default: file times")

    b = p.add_argument_group("deliberately broken output (for tests)")
    b.add_argument("--marker", default=MARKER,
                   help="marker text instead of %s; backslash escapes allowed; "
                        "cut to %d bytes" % (MARKER, MARKER_BYTES))
    b.add_argument("--omit-key", action="append", default=[], choices=SETTINGS_KEYS,
                   help="leave a key out of the settings block (repeatable)")
    b.add_argument("--empty-settings", action="store_true",
                   help="write no settings block at all (SettingsSize 0)")
    for field in ("exe", "zip", "required", "settings"):
        b.add_argument("--%s-size" % field, type=int, default=None,
                       help="write this value as %sSize instead of the real one "
                            "(may be negative or up to 2**64-1)" % field.capitalize())
        b.add_argument("--%s-size-delta" % field, type=int, default=0,
                       help="add this to the %sSize written" % field.capitalize())
    return p.parse_args(argv)


def main(argv):
    args = parse_args(argv)
    fixed_time = None
    if args.fixed_time:
        fixed_time = time.strptime(args.fixed_time, "%Y-%m-%dT%H:%M:%S")[:6]

    with open(args.exe, "rb") as f:
        image = f.read()
    archive, required = build_archive(args.folder, fixed_time)
    settings = b"" if args.empty_settings else build_settings(args)

    def written(field, real):
        value = getattr(args, field + "_size")
        return (real if value is None else value) + getattr(args, field + "_size_delta")

    trailer = build_trailer(unescape(args.marker),
                            written("exe", len(image)), written("zip", len(archive)),
                            written("required", required), written("settings", len(settings)))

    tmp = args.out + ".tmp"
    with open(tmp, "wb") as f:
        for piece in (image, archive, settings, trailer):
            f.write(piece)
    os.replace(tmp, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/env python3
"""Writes the C++ source of the built-in CMYK profile: the ICC profile file given, as one zlib
stream in a byte array returned by IEBuiltInCMYKProfileData. A missing profile file gives an empty
array (the CMYK conversions then use their arithmetic). Usage: embed_cmyk_profile.py PROFILE OUT.cpp"""
import os
import sys
import zlib


def main():
    profile, out = sys.argv[1], sys.argv[2]
    data = b""
    if os.path.isfile(profile):
        with open(profile, "rb") as f:
            data = zlib.compress(f.read(), 9)
    lines = ["// Made by tools/embed/embed_cmyk_profile.py from %s; not edited by hand." % os.path.basename(profile),
             '#include "picturaio_colour.h"', "", "namespace {"]
    if data:
        lines.append("const uint8_t kProfile[] = {")
        for i in range(0, len(data), 24):
            lines.append("    " + ", ".join(str(b) for b in data[i:i + 24]) + ",")
        lines.append("};")
    lines += ["}  // namespace", "", "const uint8_t* IEBuiltInCMYKProfileData(int32_t& Size) {"]
    if data:
        lines += ["    Size = static_cast<int32_t>(sizeof kProfile);", "    return kProfile;"]
    else:
        lines += ["    Size = 0;", "    return nullptr;"]
    lines += ["}", ""]
    tmp = out + ".tmp"
    with open(tmp, "w") as f:
        f.write("\n".join(lines))
    os.replace(tmp, out)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Checks that the image folders depend one way (core, codecs, io, proc, view from the bottom): a
file of imaging/<folder> includes headers only of its own folder or of folders below it, and in
cmake/libraries.cmake no image library links one above it.

    check_layers.py [ROOT]     prints every upward include or link and exits 1 if there is one
"""
import os
import re
import sys

ORDER = ["core", "codecs", "io", "proc", "view"]
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
# kw_library(imaging_X ...) or target_link_libraries(imaging_X ...): the library and the rest.
LINK = re.compile(r'^\s*(?:kw_library|target_link_libraries)\(imaging_(core|codecs|io|proc|view)\b(.*)\)')


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    imaging = os.path.join(root, "imaging")
    home = {}          # bare header name -> folder
    for folder in ORDER:
        for name in os.listdir(os.path.join(imaging, folder)):
            home[name] = folder
    upward = []
    for folder in ORDER:
        level = ORDER.index(folder)
        for name in sorted(os.listdir(os.path.join(imaging, folder))):
            if not name.endswith((".h", ".cpp", ".c")):
                continue
            path = os.path.join(imaging, folder, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    target = m.group(1)
                    parts = target.split("/")
                    if len(parts) == 3 and parts[0] == "imaging":
                        to = parts[1]
                    elif len(parts) == 1:
                        to = home.get(target)
                    else:
                        to = None
                    if to in ORDER and ORDER.index(to) > level:
                        upward.append("imaging/%s/%s:%d: includes %s (%s is above %s)"
                                      % (folder, name, number, target, to, folder))
    with open(os.path.join(root, "cmake", "libraries.cmake"), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            m = LINK.match(line)
            if not m:
                continue
            lower = ORDER.index(m.group(1))
            for word in re.findall(r"imaging_(\w+)", m.group(2)):
                if word in ORDER and ORDER.index(word) > lower:
                    upward.append("cmake/libraries.cmake:%d: imaging_%s links imaging_%s" % (number, m.group(1), word))
    for line in upward:
        print(line)
    if upward:
        print("%d upward include(s) or link(s)" % len(upward))
        return 1
    print("the image folders depend one way")
    return 0


if __name__ == "__main__":
    sys.exit(main())

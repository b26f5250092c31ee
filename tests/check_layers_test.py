#!/usr/bin/env python3
"""Runs check_layers.py on small planted trees: one that keeps the order passes, and each way of
going back up (a bare include, a folder-qualified include, a library link) fails and is named.

    check_layers_test.py      exits 1 when the check misses a planted fault or flags a clean tree
"""
import os
import subprocess
import sys
import tempfile

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layers.py")
FOLDERS = ["core", "codecs", "io", "proc", "view"]

CLEAN_FILES = {
    "imaging/core/iebitmap.h": "#pragma once\n",
    "imaging/core/ieprochooks.h": '#include "iebitmap.h"\n',
    "imaging/codecs/pcxfilter.cpp": '#include "ieprochooks.h"\n#include "imaging/core/iebitmap.h"\n',
    "imaging/proc/picturaproc_pixels.h": '#include "iebitmap.h"\n',
    "imaging/proc/picturaproc_hooks.cpp": '#include "ieprochooks.h"\n#include "picturaproc_pixels.h"\n',
    "imaging/view/iestartup.cpp": '#include "picturaproc_hooks.h"\n',
    "cmake/libraries.cmake": "kw_library(imaging_core imaging/core rtl)\n"
                             "kw_library(imaging_codecs imaging/codecs imaging_core)\n"
                             "kw_library(imaging_proc imaging/proc imaging_codecs)\n",
}

# Each fault: the file it changes, the line appended, and what the report must name.
FAULTS = [
    ("imaging/core/iebitmap.h", '#include "picturaproc_pixels.h"\n', "imaging/core/iebitmap.h:2: includes picturaproc_pixels.h"),
    ("imaging/codecs/pcxfilter.cpp", '#include "imaging/view/iestartup.h"\n', "imaging/codecs/pcxfilter.cpp:3: includes imaging/view/iestartup.h"),
    ("cmake/libraries.cmake", "target_link_libraries(imaging_core PUBLIC imaging_proc)\n", "imaging_core links imaging_proc"),
]


def plant(root, extra=None):
    for folder in FOLDERS:
        os.makedirs(os.path.join(root, "imaging", folder), exist_ok=True)
    os.makedirs(os.path.join(root, "cmake"), exist_ok=True)
    for name, text in CLEAN_FILES.items():
        if extra and extra[0] == name:
            text += extra[1]
        with open(os.path.join(root, name), "w", encoding="utf-8") as f:
            f.write(text)


def run(root):
    done = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True, timeout=60)
    return done.returncode, done.stdout


def main():
    failures = []
    with tempfile.TemporaryDirectory() as root:
        plant(root)
        code, out = run(root)
        if code != 0:
            failures.append("clean tree flagged:\n" + out)
    for fault in FAULTS:
        with tempfile.TemporaryDirectory() as root:
            plant(root, fault)
            code, out = run(root)
            if code != 1 or fault[2] not in out:
                failures.append("missed %r (exit %d):\n%s" % (fault[1].strip(), code, out))
    for line in failures:
        print(line)
    print("%d of %d planted trees judged wrongly" % (len(failures), len(FAULTS) + 1))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

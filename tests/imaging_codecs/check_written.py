#!/usr/bin/python3
"""The PNG and icon files that the codec tests left in the build folder, read by Pillow and
ImageMagick: the same sizes, opacity and colours that the tests wrote.

    check_written.py BUILD_DIR
"""
import os
import shutil
import subprocess
import sys

from PIL import Image, IcoImagePlugin

build = sys.argv[1]
failures = []


def expect(what, got, want):
    if got != want:
        failures.append('%s: %r, expected %r' % (what, got, want))


def magick_rgba(path, width, height):
    """ImageMagick's pixels of the file (8-bit RGBA), or None without ImageMagick."""
    tool = '/usr/bin/convert' if os.path.exists('/usr/bin/convert') else shutil.which('convert')
    if not tool:
        return None
    out = subprocess.run([tool, path, '-depth', '8', 'rgba:-'], capture_output=True, timeout=60).stdout
    return out[:width * height * 4] if len(out) >= width * height * 4 else b''


# The RGBA file: red left half, blue right half, row 2 with alpha x * 30.
path = os.path.join(build, 'png-written-rgba.png')
im = Image.open(path).convert('RGBA')
expect('rgba size', im.size, (8, 6))
for x in range(8):
    expect('rgba pixel %d,2' % x, im.getpixel((x, 2)), (255, 0, 0, x * 30) if x < 4 else (0, 0, 255, x * 30))
expect('rgba pixel 7,3', im.getpixel((7, 3)), (0, 0, 255, 255))
m = magick_rgba(path, 8, 6)
if m is not None:
    expect('ImageMagick rgba', m, im.tobytes())

# The palette file: index 0 transparent in the background colour 1, 2, 3.
path = os.path.join(build, 'png-written-palette.png')
im = Image.open(path)
expect('palette mode', im.mode, 'P')
expect('palette entry 0', tuple(im.getpalette()[:3]), (1, 2, 3))
rgba = im.convert('RGBA')
expect('palette pixel 0,2', rgba.getpixel((0, 2))[3], 0)
expect('palette pixel 7,3', rgba.getpixel((7, 3)), (0, 0, 255, 255))

# The icon: 16 x 16 at 4 bits and 32 x 32 at 32 bits, top row transparent, left half blue at the
# bottom, right half black.
path = os.path.join(build, 'ico-written.ico')
ico = IcoImagePlugin.IcoFile(open(path, 'rb'))
sizes = sorted(e['width'] for e in ico.entry)
expect('icon sizes', sizes, [16, 32])
for j, e in enumerate(ico.entry):
    n = e['width']
    frame = ico.frame(j).convert('RGBA')
    expect('icon %d top row' % n, frame.getpixel((3, 0))[3], 0)
    expect('icon %d bottom left' % n, frame.getpixel((1, n - 1)), (0, 0, 255, 255))
    expect('icon %d bottom right' % n, frame.getpixel((n - 1, n - 1)), (0, 0, 0, 255))
tool = '/usr/bin/identify' if os.path.exists('/usr/bin/identify') else shutil.which('identify')
if tool:
    out = subprocess.run([tool, '-format', '%w %h\n', path], capture_output=True, text=True, timeout=60).stdout
    expect('ImageMagick icon sizes', sorted(out.split()), sorted(['16', '16', '32', '32']))

for f in failures:
    print(f)
print('%d failures' % len(failures))
sys.exit(1 if failures else 0)

#!/usr/bin/python3
"""Corpora and reference pixels of the PNG, icon and cursor tests, from tools no one here wrote.

    make_png_ico_refs.py OUTDIR WORKDIR

- PNG: libpng's conformance suite and test images (contrib/pngsuite, contrib/testpngs with its
  crashers) from Debian's libpng1.6 source package, fetched once by scripts/build-deps.sh --source
  into a cache outside the clone ($KW_DEPS_CACHE, else /var/cache/lumivera-deps, else
  ~/.cache/lumivera-deps) under corpora/.
- Icons and cursors: the group icons and cursors of Wine's own DLLs (wrestool from icoutils), and
  icons and cursors written by ImageMagick.
- References: Pillow decodes every file; OUTDIR/<file>.ref (or <file>.<entry>.ref for each entry
  of an icon or cursor) holds "width height\\n" and then red, green, blue, alpha bytes, rows top to
  bottom; 16-bit samples reduced to their high byte. OUTDIR/index.txt has one line per file:
  "png NAME ok|bad" (bad: Pillow refuses it) or "ico NAME ENTRIES" / "cur NAME ENTRIES".
A tool or package that is missing leaves its files out; the tests skip what is absent.
"""
import glob
import io
import os
import shutil
import struct
import subprocess
import sys
import zlib

from PIL import Image, IcoImagePlugin

out, work = sys.argv[1], sys.argv[2]
root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
shutil.rmtree(out, ignore_errors=True)
os.makedirs(out)
index = []


def cache_dir():
    for c in (os.environ.get('KW_DEPS_CACHE'), '/var/cache/lumivera-deps',
              os.path.join(os.environ.get('XDG_CACHE_HOME', os.path.expanduser('~/.cache')), 'lumivera-deps')):
        if not c:
            continue
        try:
            os.makedirs(c, exist_ok=True)
            if os.access(c, os.W_OK):
                return c
        except OSError:
            pass
    return None


def png_corpus():
    """The folder of libpng's test images in the cache, fetched when missing."""
    cache = cache_dir()
    if not cache:
        return None
    dest = os.path.join(cache, 'corpora', 'libpng1.6')
    if os.path.isfile(os.path.join(dest, 'DONE')):
        return dest
    try:
        src = subprocess.run(['bash', os.path.join(root, 'scripts/build-deps.sh'), '--work', work, '--source', 'libpng1.6'],
                             capture_output=True, text=True, timeout=900).stdout.strip().splitlines()
    except subprocess.TimeoutExpired:
        return None
    if not src or not os.path.isdir(src[-1]):
        return None
    src = src[-1]
    tmp = dest + '.tmp'
    shutil.rmtree(tmp, ignore_errors=True)
    os.makedirs(tmp)
    for pattern in ('contrib/pngsuite/*.png', 'contrib/pngsuite/interlaced/*.png', 'contrib/testpngs/*.png',
                    'contrib/testpngs/crashers/*.png'):
        for f in glob.glob(os.path.join(src, pattern)):
            prefix = 'crasher_' if '/crashers/' in f else ''
            shutil.copy(f, os.path.join(tmp, prefix + os.path.basename(f)))
    open(os.path.join(tmp, 'DONE'), 'w').write(os.path.basename(src) + '\n')
    shutil.rmtree(dest, ignore_errors=True)
    os.rename(tmp, dest)
    shutil.rmtree(src, ignore_errors=True)
    return dest


def rgba_bytes(im):
    """The image as 8-bit RGBA, 16-bit grey reduced to its high byte, transparency applied."""
    if im.mode in ('I', 'I;16', 'I;16B', 'I;16L'):
        trns = im.info.get('transparency')
        data = bytearray()
        for v in im.getdata():
            g = (v >> 8) & 255
            data += bytes((g, g, g, 0 if trns is not None and v == trns else 255))
        return bytes(data)
    return im.convert('RGBA').tobytes()


def write_ref(path, im):
    with open(path, 'wb') as f:
        f.write(b'%d %d\n' % im.size)
        f.write(rgba_bytes(im))


corpus = png_corpus()
if corpus:
    for f in sorted(glob.glob(os.path.join(corpus, '*.png'))):
        name = os.path.basename(f)
        shutil.copy(f, os.path.join(out, name))
        try:
            im = Image.open(f)
            im.load()
            # Pillow scales grey samples of 1 to 4 bits to 8 but keeps tRNS as the file's sample
            # (and applies none to a 1-bit image): the grey levels and tRNS are compared at 8 bits.
            head = open(f, 'rb').read(26)
            depth, colour = head[24], head[25]
            if im.mode in ('L', '1') and colour == 0 and depth < 8 and isinstance(im.info.get('transparency'), int):
                trns = im.info['transparency'] * 255 // ((1 << depth) - 1)
                im = im.convert('L')
                im.info['transparency'] = trns
            write_ref(os.path.join(out, name + '.ref'), im)
            index.append('png %s ok' % name)
        except Exception:
            index.append('png %s bad' % name)


def png_chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)


def made_pngs():
    """Files Pillow writes (or a byte-level edit of one) that every peer reads: a 1-bit palette
    image with tRNS, and an image whose IDAT holds bytes after the end of its zlib stream (a
    benign error to libpng)."""
    im = Image.new('P', (13, 5))
    im.putpalette([255, 0, 0, 0, 0, 255])
    im.putdata([(x * 3 + y) % 2 for y in range(5) for x in range(13)])
    im.save(os.path.join(out, 'made_p1_trns.png'), bits=1, transparency=0)
    buf = io.BytesIO()
    Image.new('RGB', (7, 3), (10, 200, 30)).save(buf, 'PNG')
    data, edited, i = buf.getvalue(), buf.getvalue()[:8], 8
    while i < len(data):
        n = struct.unpack('>I', data[i:i + 4])[0]
        kind, body = data[i + 4:i + 8], data[i + 8:i + 8 + n]
        edited += png_chunk(kind, body + b'\x00\x01trailing' if kind == b'IDAT' else body)
        i += 12 + n
    open(os.path.join(out, 'made_idat_trailing.png'), 'wb').write(edited)
    for name in ('made_p1_trns.png', 'made_idat_trailing.png'):
        im = Image.open(os.path.join(out, name))
        im.load()
        write_ref(os.path.join(out, name + '.ref'), im)
        index.append('png %s ok' % name)


made_pngs()

# Icons and cursors of Wine's DLLs, and of ImageMagick.
dlls = sorted(glob.glob('/usr/lib/*/wine/*-windows/user32.dll'))
icons = os.path.join(out, 'icons')
os.makedirs(icons)
if dlls and shutil.which('wrestool'):
    base = os.path.dirname(dlls[0])
    for dll, limit in (('user32.dll', 99), ('comctl32.dll', 99), ('shell32.dll', 12)):
        path = os.path.join(base, dll)
        if not os.path.isfile(path):
            continue
        for kind in ('14', '12'):
            subprocess.run(['wrestool', '-x', '-t', kind, path, '-o', icons], capture_output=True, timeout=120)
        for kind, ext in (('14', 'ico'), ('12', 'cur')):
            for extra in sorted(glob.glob(os.path.join(icons, '%s_%s_*.%s' % (dll, kind, ext))))[limit:]:
                os.remove(extra)
im_tool = '/usr/bin/convert' if os.path.exists('/usr/bin/convert') else shutil.which('convert')
if im_tool:
    for args, name in ((['-size', '32x32', 'gradient:red-blue'], 'im_gradient.ico'),
                       (['-size', '20x12', 'xc:none', '-fill', '#30a060', '-draw', 'rectangle 3,2 15,9'], 'im_alpha.ico'),
                       (['-size', '48x48', 'plasma:fractal', '-seed', '3', '-colors', '16'], 'im_16colours.ico'),
                       (['-size', '16x16', 'pattern:checkerboard', '-monochrome'], 'im_mono.ico'),
                       (['-size', '32x32', 'xc:none', '-fill', 'black', '-draw', 'polygon 0,0 0,20 12,14'], 'im_arrow.cur')):
        subprocess.run([im_tool] + args + [os.path.join(icons, name)], capture_output=True, timeout=60)

for f in sorted(glob.glob(os.path.join(icons, '*'))):
    name = 'icons/' + os.path.basename(f)
    data = open(f, 'rb').read()
    if len(data) < 6:
        continue
    kind = 'cur' if struct.unpack('<H', data[2:4])[0] == 2 else 'ico'
    try:
        # Pillow reads cursors through its icon reader: the same layout with type 1, and planes and
        # bits per pixel in place of the hot spot (Pillow takes the depth from the entry).
        patched = bytearray(data[:2] + b'\x01\x00' + data[4:])
        if kind == 'cur':
            for i in range(struct.unpack('<H', data[4:6])[0]):
                e = 6 + 16 * i
                off = struct.unpack('<I', data[e + 12:e + 16])[0]
                if data[off:off + 4] != b'\x89PNG' and off + 16 <= len(data):
                    patched[e + 4:e + 8] = struct.pack('<HH', 1, struct.unpack('<H', data[off + 14:off + 16])[0])
        ico = IcoImagePlugin.IcoFile(io.BytesIO(bytes(patched)))
        count = len(ico.entry)
        # Pillow sorts the entries; the reference of each keeps the file's own order.
        offsets = [struct.unpack('<I', data[6 + 16 * i + 12:6 + 16 * i + 16])[0] for i in range(struct.unpack('<H', data[4:6])[0])]
        for i, off in enumerate(offsets):
            for j, e in enumerate(ico.entry):
                if e['offset'] == off:
                    write_ref(os.path.join(out, '%s.%d.ref' % (name, i)), ico.frame(j))
                    break
        index.append('%s %s %d' % (kind, name, len(offsets)))
    except Exception:
        index.append('%s %s 0' % (kind, name))

with open(os.path.join(out, 'index.txt'), 'w') as f:
    f.write(''.join(line + '\n' for line in index))
print('%d files' % len(index))

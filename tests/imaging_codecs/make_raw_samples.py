#!/usr/bin/python3
"""Camera-raw samples for the camera-raw reader's tests, made at test time.

No camera files are packaged here, so the samples are DNG files written by python3-tifffile: a
Bayer (RGGB) sensor image of 16-bit samples in a sub-IFD, and an 8-bit RGB preview as the first
image, the way cameras store them. Each is decoded by LibRaw's own dcraw_emu (Debian's
libraw-bin) as linear 16-bit RGB with the option sets the tests use, and the previews are
extracted by its simple_dcraw. Written into the folder given:
  <name>.dng                 the sample
  <name>.<case>.rgb16        dcraw_emu -4 output: "width height\n", then R, G, B as 16-bit
                             little-endian samples, rows top to bottom
  <name>.thumb.rgb           the preview as simple_dcraw -e extracts it: "width height\n", then RGB bytes
  index.txt                  one line per decode: sample, case, the dcraw_emu options
"""
import os
import subprocess
import sys

import numpy
import tifffile

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)

W, H = 64, 48


def scene():
    """A smooth scene in linear RGB (0..1): a diagonal gradient with a hue change and a bright patch."""
    y, x = numpy.mgrid[0:H, 0:W].astype(numpy.float64)
    r = 0.15 + 0.7 * x / (W - 1)
    g = 0.10 + 0.6 * y / (H - 1)
    b = 0.65 - 0.5 * (x + y) / (W + H - 2)
    rgb = numpy.stack([r, g, b], axis=-1)
    rgb[8:16, 40:56] = (0.95, 0.9, 0.85)
    return rgb


def bayer(rgb, white):
    """The RGGB mosaic of the scene, scaled to the white level."""
    cfa = numpy.empty((H, W), numpy.uint16)
    cfa[0::2, 0::2] = rgb[0::2, 0::2, 0] * white
    cfa[0::2, 1::2] = rgb[0::2, 1::2, 1] * white
    cfa[1::2, 0::2] = rgb[1::2, 0::2, 1] * white
    cfa[1::2, 1::2] = rgb[1::2, 1::2, 2] * white
    return cfa


def write_dng(path, resolution, unit):
    rgb = scene()
    white = 4095
    thumb = (numpy.clip(rgb[::4, ::4], 0, 1) ** (1 / 2.2) * 255).astype(numpy.uint8)   # 16 x 12
    with tifffile.TiffWriter(path) as tw:
        tw.write(thumb, photometric='rgb', subfiletype=1, subifds=1, resolution=(resolution, resolution),
                 resolutionunit=unit, metadata=None,
                 extratags=[(271, 's', 0, 'Kwtest', True), (272, 's', 0, 'Bayer 64', True),
                            (50706, 'B', 4, (1, 4, 0, 0), True),
                            (50708, 's', 0, 'Kwtest Bayer 64', True),
                            # XYZ to the camera's RGB: the sRGB primaries, so the camera sees sRGB
                            (50721, '2i', 9, (32406, 10000, -15372, 10000, -4986, 10000,
                                              -9689, 10000, 18758, 10000, 415, 10000,
                                              557, 10000, -2040, 10000, 10570, 10000), True),
                            (50778, 'H', 1, 21, True),
                            (50728, '2I', 3, (9, 10, 1, 1, 4, 5), True)])
        tw.write(bayer(rgb, white), photometric=32803, metadata=None,
                 extratags=[(33421, 'H', 2, (2, 2), True), (33422, 'B', 4, (0, 1, 1, 2), True),
                            (50717, 'I', 1, white, True), (50714, 'H', 1, 0, True)])


def read_tiff_rgb(path):
    return tifffile.imread(path)


CASES = {
    'plain': ['-q', '0'],
    'camwb': ['-q', '0', '-w'],
    'half': ['-h'],
    'ahd': ['-q', '3'],
}

samples = {'inch72': ((72, 1), 2), 'cm2835': ((2835, 100), 3)}   # exact rationals
index = []
for name, (res, unit) in samples.items():
    dng = os.path.join(OUT, name + '.dng')
    write_dng(dng, res, unit)
    for case, opts in CASES.items():
        if name != 'inch72' and case != 'plain':
            continue
        subprocess.run(['dcraw_emu', '-4', '-T', '-Z', '-'] + opts + [dng], check=True, timeout=60,
                       stdout=open(os.path.join(OUT, 'out.tiff'), 'wb'))
        img = read_tiff_rgb(os.path.join(OUT, 'out.tiff'))
        os.remove(os.path.join(OUT, 'out.tiff'))
        with open(os.path.join(OUT, '%s.%s.rgb16' % (name, case)), 'wb') as f:
            f.write(b'%d %d\n' % (img.shape[1], img.shape[0]))
            f.write(img.astype('<u2').tobytes())
        index.append('%s %s %s' % (name, case, ','.join(opts)))
    # The preview as LibRaw extracts it (a bitmap preview comes out as a PPM file).
    subprocess.run(['simple_dcraw', '-e', dng], check=True, timeout=60, stdout=subprocess.DEVNULL)
    thumb = dng + '.thumb.ppm'
    with open(thumb, 'rb') as f:
        data = f.read()
    os.remove(thumb)
    parts = data.split(maxsplit=4)
    w, h = int(parts[1]), int(parts[2])
    with open(os.path.join(OUT, name + '.thumb.rgb'), 'wb') as f:
        f.write(b'%d %d\n' % (w, h))
        f.write(data[len(data) - w * h * 3:])
with open(os.path.join(OUT, 'index.txt'), 'w') as f:
    f.write('\n'.join(index) + '\n')

#!/usr/bin/python3
"""Prints the pixels the DICOM reader is expected to give for one frame of a DICOM file, computed
from pydicom's decoding: RGB images as R, G, B bytes; grey images after the modality rescale, the
VOI window (first values; a centre of 0 means none), one offset lifting negative values, the
stretch of the smallest to the largest value over 0..T and the MONOCHROME1 inversion, as
little-endian 16-bit samples (T = 65535) or bytes (T = 255). Native data of up to 8 bits is only
shifted to 8 bits and inverted.

Native YBR_FULL and YBR_FULL_422 images (which pydicom hands out unconverted) are converted to
RGB by pydicom's conversion.

usage: dicom_reference.py FILE FRAME
       dicom_reference.py --ybr-full SOURCE OUT   writes SOURCE's RGB pixels as an uncompressed
                                                  YBR_FULL file (a form no shipped file has)
"""
import sys

import numpy as np
import pydicom


def first(value, default):
    if value is None or value == "":
        return default
    if isinstance(value, pydicom.multival.MultiValue):
        value = value[0]
    try:
        return float(value)
    except (TypeError, ValueError):
        return -1.0


def ybr_full(source, out):
    from pydicom.pixel_data_handlers.util import convert_color_space
    from pydicom.uid import ExplicitVRLittleEndian
    ds = pydicom.dcmread(source)
    arr = convert_color_space(ds.pixel_array, "RGB", "YBR_FULL")
    ds.PixelData = arr.astype(np.uint8).tobytes()
    ds.PhotometricInterpretation = "YBR_FULL"
    ds.PlanarConfiguration = 0
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.save_as(out)


def main():
    if sys.argv[1] == "--ybr-full":
        ybr_full(sys.argv[2], sys.argv[3])
        return
    ds = pydicom.dcmread(sys.argv[1])
    frame = int(sys.argv[2])
    arr = ds.pixel_array
    frames = int(ds.get("NumberOfFrames", 1) or 1)
    if frames > 1:
        arr = arr[min(frame, frames - 1)]
    photo = str(ds.PhotometricInterpretation).strip().upper()
    ts = str(ds.file_meta.get("TransferSyntaxUID", ""))
    native = ts in ("", "1.2.840.10008.1.2", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.2", "1.2.840.10008.1.2.1.99")
    if ds.SamplesPerPixel == 3:
        if native and photo in ("YBR_FULL", "YBR_FULL_422"):
            from pydicom.pixel_data_handlers.util import convert_color_space
            arr = convert_color_space(arr, "YBR_FULL", "RGB")
        sys.stdout.buffer.write(arr.astype(np.uint8).tobytes())
        return
    stored = int(ds.BitsStored)
    if native and stored <= 8:
        out = (arr.astype(np.uint16) << (8 - stored)).astype(np.uint8)
        if photo == "MONOCHROME1":
            out = 255 - out
        sys.stdout.buffer.write(out.tobytes())
        return
    top = 65535.0 if stored > 8 else 255.0
    centre = first(ds.get("WindowCenter"), -1.0)
    width = first(ds.get("WindowWidth"), -1.0)
    if centre == 0:
        centre = -1.0
    v = arr.astype(np.float64) * first(ds.get("RescaleSlope"), 1.0) + first(ds.get("RescaleIntercept"), 0.0)
    if centre != -1 and width != -1:
        lo = np.trunc(centre - 0.5 - (width - 1) / 2)
        hi = np.trunc(centre - 0.5 + (width - 1) / 2)
        inside = ((v - (centre - 0.5)) / (width - 1 if width != 1 else 1) + 0.5) * top
        v = np.where(v <= lo, 0.0, np.where(v < hi, inside, top))
    s = np.trunc(v + max(0.0, -min(0.0, v.min())))
    smin, smax = s.min(), s.max()
    out = np.trunc((s - smin) / (smax - smin) * top) if smax > smin else np.minimum(s, top)
    out = out.astype(np.uint16 if top > 255 else np.uint8)
    if photo == "MONOCHROME1":
        out = ~out
    sys.stdout.buffer.write(out.astype("<u2" if top > 255 else np.uint8).tobytes())


main()

// Metafile import (WMF and EMF drawn to pixels), the platform-neutral part: the size rules and the
// file and stream entry points. The drawing itself is in the platform twins
// (picturaio_metafile_win.cpp; natively there is no metafile support and the import fails).
#include "picturaio_metafile.h"

#include <memory>

#include "iecoreutils_streams.h"
#include "picturaio.h"
#include "picturaio_thread.h"
#include "picturaio_finish.h"

bool IEMetafileImportSize(int32_t MetaWidth, int32_t MetaHeight, int32_t Width, int32_t Height, int32_t MaxSize,
                          int32_t& OutWidth, int32_t& OutHeight) {
    if (MetaWidth <= 0 || MetaHeight <= 0 || Width == 0 || Height == 0) return false;
    int64_t w = MetaWidth, h = MetaHeight;
    if (Width > 0 || Height > 0) {
        if (Width >= 1 && Height >= 1) {
            w = Width;
            h = Height;
        } else if (Width < 0) {
            w = static_cast<int64_t>(Height) * MetaWidth / MetaHeight;
            h = Height;
        } else {
            h = static_cast<int64_t>(MetaHeight) * Width / MetaWidth;
            w = Width;
        }
    }
    if (MaxSize > 0 && (w > MaxSize || h > MaxSize)) {
        if (w < h) {
            w = w * MaxSize / h;
            h = MaxSize;
        } else {
            h = h * MaxSize / w;
            w = MaxSize;
        }
    }
    if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX) return false;
    OutWidth = static_cast<int32_t>(w);
    OutHeight = static_cast<int32_t>(h);
    return true;
}

void TPicturaIO::ImportMetafileFromFile(const std::wstring& FileName, int32_t Width, int32_t Height, bool WithAlpha) {
    if (IEStartIOThread(*this, &TPicturaIO::ImportMetafileFromFile, FileName, Width, Height, WithAlpha)) return;
    IEWithFinishWork(*this, [&] {
        TIEWideFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
        ImportMetafileData(&stream, Width, Height, WithAlpha);
        Params->FileName = FileName;
    });
}

void TPicturaIO::ImportMetafileFromStream(TStream* Stream, int32_t Width, int32_t Height, bool WithAlpha) {
    IEWithFinishWork(*this, [&] {
        ImportMetafileData(Stream, Width, Height, WithAlpha);
        Params->FileName.clear();
    });
}

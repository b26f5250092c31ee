// Metafile import, the platform-neutral part: the size a metafile is drawn at.
#pragma once

#include <cstdint>

class TStream;

// A metafile to import: a Windows metafile (with or without the placeable header) or an enhanced
// metafile, held as an enhanced metafile handle with its size in pixels of the screen. Unreadable
// data leaves it empty (no handle, size 0); so does every load where the platform has no metafile
// support.
class TIEMetafile {
public:
    TIEMetafile() = default;
    ~TIEMetafile();
    TIEMetafile(const TIEMetafile&) = delete;
    TIEMetafile& operator=(const TIEMetafile&) = delete;
    // Reads the metafile from the stream's position to its end, replacing what was held.
    void LoadFromStream(TStream& Stream);
    bool IsEmpty() const { return !Handle || Width <= 0 || Height <= 0; }

    void* Handle = nullptr;   // HENHMETAFILE
    bool Enhanced = false;    // read as an enhanced metafile (file type EMF, else WMF)
    int32_t Width = 0;
    int32_t Height = 0;
};

// The pixel size of an import of a MetaWidth x MetaHeight metafile. Width and Height ask for a
// size: both positive give that size, one negative keeps the metafile's aspect ratio with the
// other, both negative keep the metafile's own size. The result is then scaled down, keeping the
// aspect ratio, until neither side passes MaxSize. False (sizes unchanged) when the metafile or
// the result has an empty side.
bool IEMetafileImportSize(int32_t MetaWidth, int32_t MetaHeight, int32_t Width, int32_t Height, int32_t MaxSize,
                          int32_t& OutWidth, int32_t& OutHeight);

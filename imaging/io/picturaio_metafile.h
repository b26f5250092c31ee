// Metafile import, the platform-neutral part: the size a metafile is drawn at.
#pragma once

#include <cstdint>

// The pixel size of an import of a MetaWidth x MetaHeight metafile. Width and Height ask for a
// size: both positive give that size, one negative keeps the metafile's aspect ratio with the
// other, both negative keep the metafile's own size. The result is then scaled down, keeping the
// aspect ratio, until neither side passes MaxSize. False (sizes unchanged) when the metafile or
// the result has an empty side.
bool IEMetafileImportSize(int32_t MetaWidth, int32_t MetaHeight, int32_t Width, int32_t Height, int32_t MaxSize,
                          int32_t& OutWidth, int32_t& OutHeight);

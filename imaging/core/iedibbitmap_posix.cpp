// Without the system's drawing service the rows live in ordinary memory: the device context stays
// null and the section handle is the block itself, so the rows and copies work and nothing can be
// drawn into them.
#include <cstdlib>

#include "iedibbitmap.h"

bool IEDibCreate(const TIEDibInfo& Info, void*& DC, void*& Section, uint8_t*& Bits) {
    DC = nullptr;
    Section = Info.biSizeImage ? std::malloc(Info.biSizeImage) : nullptr;
    Bits = static_cast<uint8_t*>(Section);
    return Section != nullptr;
}

void IEDibFree(void*& DC, void*& Section, uint8_t*& Bits) {
    std::free(Section);
    DC = nullptr;
    Section = nullptr;
    Bits = nullptr;
}

bool IEDibHasDrawing() { return false; }

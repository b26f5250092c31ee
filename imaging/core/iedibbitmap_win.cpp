// The DIB section and its memory device context from the system's drawing service.
#include "WinApi.h"
#include "iedibbitmap.h"

static_assert(sizeof(BITMAPINFOHEADER) == 40, "the header the section is described by");
static_assert(sizeof(TIEDibInfo) == sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD),
              "the header and two colour entries");

bool IEDibCreate(const TIEDibInfo& Info, void*& DC, void*& Section, uint8_t*& Bits) {
    DC = nullptr;
    Section = nullptr;
    Bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return false;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&Info),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section || !bits) {
        if (section) DeleteObject(section);
        DeleteDC(dc);
        return false;
    }
    SelectObject(dc, section);
    DC = dc;
    Section = section;
    Bits = static_cast<uint8_t*>(bits);
    return true;
}

void IEDibFree(void*& DC, void*& Section, uint8_t*& Bits) {
    // The context goes first so that the section is no longer selected when it is deleted.
    if (DC) DeleteDC(static_cast<HDC>(DC));
    if (Section) DeleteObject(static_cast<HBITMAP>(Section));
    DC = nullptr;
    Section = nullptr;
    Bits = nullptr;
}

bool IEDibHasDrawing() { return true; }

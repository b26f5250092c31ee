// GDI regions of the decorative shapes of iexShapes.h (Windows build only), with the two region
// helpers that the shapes and the transitions share. Every builder takes the box (Left, Top,
// Width, Height) and returns a new region that the caller owns and deletes.
#pragma once

#include <cstdint>

#include "WinApi.h"
#include "iexShapes.h"

// Into joined with Part by CombineRgn(Mode) (RGN_OR, RGN_XOR, RGN_AND); Part is deleted. When Into
// is 0 the result is Part itself; when Part is 0, Into unchanged.
HRGN IEJoinRegion(HRGN Into, HRGN Part, int Mode);

// Owns one region handle and deletes it when it goes out of scope.
class TIERegionHolder {
public:
    explicit TIERegionHolder(HRGN ARegion = nullptr) : FRegion(ARegion) {}
    ~TIERegionHolder() { Reset(nullptr); }
    TIERegionHolder(const TIERegionHolder&) = delete;
    TIERegionHolder& operator=(const TIERegionHolder&) = delete;
    HRGN Get() const { return FRegion; }
    // Gives up ownership.
    HRGN Release() { HRGN r = FRegion; FRegion = nullptr; return r; }
    void Reset(HRGN ARegion) { if (FRegion) DeleteObject(FRegion); FRegion = ARegion; }

private:
    HRGN FRegion;
};

// The region of shape kind Kind (its low seven bits, see iexShapes.h) in the box; 0 for kinds 16
// to 127.
HRGN IECreateShapeRegion(uint8_t Kind, int32_t Left, int32_t Top, int32_t Width, int32_t Height);

HRGN IECreateStar5Region(int32_t Left, int32_t Top, int32_t Width, int32_t Height);
HRGN IECreateStar6Region(int32_t Left, int32_t Top, int32_t Width, int32_t Height);
// Variant 0 points to the top-left corner, 1 the top-right, 2 the bottom-left, 3 the bottom-right.
HRGN IECreateArrowRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t Variant);
HRGN IECreateFeatheredArrowRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t Variant);
HRGN IECreateLightningRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height, bool Mirrored);
HRGN IECreateExplosionRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height, bool Turned);
HRGN IECreateCrossRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height, float Position);
HRGN IECreateHeartRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height);

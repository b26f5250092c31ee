// GDI regions of the decorative shapes of iexShapes.h (Windows build only). Every builder takes the
// box (Left, Top, Width, Height) and returns a new region that the caller owns and deletes.
#pragma once

#include <cstdint>

#include "WinApi.h"
#include "iexShapes.h"

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

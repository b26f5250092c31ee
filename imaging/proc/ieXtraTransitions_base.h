// The platform-neutral arithmetic of the transition procedures: the library's shared random
// generator, Win32's MulDiv and the frame size with the progress extents that every procedure
// starts from. The drawing itself is in ieXtraTransitions.h (Windows build only).
#pragma once

#include <cstdint>

#include "imaging/core/iecoreutils_geometry.h"

// The state of the library's random generator. Procedures that need a repeatable sequence save
// it, set it and put it back (also when drawing fails); tests set it to get known draws.
extern uint32_t RandSeed;

// The library's random generator: the state s becomes s * 134775813 + 1 (mod 2^32) and the result
// is the high 32 bits of the 64-bit product of the new state and ARange, so 0 to ARange - 1 for a
// positive ARange and 0 for ARange 0 (the state advances all the same).
int32_t Random(int32_t ARange);

// Win32's MulDiv on every platform: A * B / C with a 64-bit intermediate, rounded to the nearest
// integer with halves away from zero; -1 when C is 0 or the result does not fit in 32 bits.
int32_t IEMulDiv(int32_t A, int32_t B, int32_t C);

// W and H are the size of ARect. The longer side receives the exact percentage and the other
// extent keeps the frame's aspect ratio: for W >= H, X = MulDiv(W, Progress, 100) and
// Y = MulDiv(X, H, W); otherwise Y = MulDiv(H, Progress, 100) and X = MulDiv(Y, W, H). An empty
// frame gives 0 for both extents (instead of MulDiv's -1 for a division by 0).
void IEGetTransitionSizes(const TIERect& ARect, int32_t Progress, int32_t& W, int32_t& H, int32_t& X, int32_t& Y);

// The shared random generator, MulDiv and the transition sizes.
#include "ieXtraTransitions_base.h"

uint32_t RandSeed = 0;

int32_t Random(int32_t ARange)
{
    RandSeed = RandSeed * 134775813u + 1u;
    return (int32_t)(((uint64_t)RandSeed * (uint32_t)ARange) >> 32);
}

int32_t IEMulDiv(int32_t A, int32_t B, int32_t C)
{
    if (C == 0)
        return -1;
    int64_t product = (int64_t)A * B;
    bool negative = (product < 0) != (C < 0);
    uint64_t magnitude = product < 0 ? (uint64_t)0 - (uint64_t)product : (uint64_t)product;
    uint64_t divisor = C < 0 ? (uint64_t)0 - (uint64_t)(int64_t)C : (uint64_t)C;
    uint64_t quotient = (magnitude + divisor / 2) / divisor;
    if (quotient > (negative ? 0x80000000ull : 0x7FFFFFFFull))
        return -1;
    return negative ? (int32_t)(0 - quotient) : (int32_t)quotient;
}

void IEGetTransitionSizes(const TIERect& ARect, int32_t Progress, int32_t& W, int32_t& H, int32_t& X, int32_t& Y)
{
    W = ARect.Right - ARect.Left;
    H = ARect.Bottom - ARect.Top;
    X = 0;
    Y = 0;
    if (W <= 0 || H <= 0)
        return;   // no frame: no extents (MulDiv would give -1 for the division by 0)
    if (W >= H) {
        X = IEMulDiv(W, Progress, 100);
        Y = IEMulDiv(X, H, W);
    } else {
        Y = IEMulDiv(H, Progress, 100);
        X = IEMulDiv(Y, W, H);
    }
}

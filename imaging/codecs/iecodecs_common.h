// Small pieces the hand-written codecs share: little-endian fields, the progress record's abort
// flag, and the parameters' sample layout of a file's bit depth.
#pragma once

#include <cstdint>

#include "imaging/io/picturaio_params.h"

inline uint16_t IEGetLE16(const uint8_t* P) { return (uint16_t)(P[0] | (P[1] << 8)); }
inline uint32_t IEGetLE32(const uint8_t* P) { return (uint32_t)IEGetLE16(P) | ((uint32_t)IEGetLE16(P + 2) << 16); }
inline void IEPutLE16(uint8_t* P, uint32_t V) {
    P[0] = (uint8_t)V;
    P[1] = (uint8_t)(V >> 8);
}
inline void IEPutLE32(uint8_t* P, uint32_t V) {
    IEPutLE16(P, V);
    IEPutLE16(P + 2, V >> 16);
}

// True when the record has an abort flag and it is set.
inline bool IEIsAborting(const TIOProgressRecord& Progress) { return Progress.Aborting && Progress.Aborting->load(); }
// Sets the record's abort flag (when it has one).
inline void IEAbort(TIOProgressRecord& Progress) {
    if (Progress.Aborting) Progress.Aborting->store(true);
}

// BitsPerSample and SamplesPerPixel of a file depth: 1, 4 and 8 one sample, 16 three of 5 bits,
// 24 three of 8, 32 four of 8; other depths leave them.
void IESetDepthParams(TIOParamsVals& IOParams, int32_t Depth);

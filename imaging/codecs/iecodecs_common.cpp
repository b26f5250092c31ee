#include "iecodecs_common.h"

void IESetDepthParams(TIOParamsVals& IOParams, int32_t Depth) {
    switch (Depth) {
    case 1: case 4: case 8: IOParams.BitsPerSample = Depth; IOParams.SamplesPerPixel = 1; break;
    case 16: IOParams.BitsPerSample = 5; IOParams.SamplesPerPixel = 3; break;
    case 24: IOParams.BitsPerSample = 8; IOParams.SamplesPerPixel = 3; break;
    case 32: IOParams.BitsPerSample = 8; IOParams.SamplesPerPixel = 4; break;
    default: break;
    }
}

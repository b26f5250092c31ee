#include "iecoredefs_types.h"

int32_t IEGrayRedWeight = 21;
int32_t IEGrayGreenWeight = 71;
int32_t IEGrayBlueWeight = 8;

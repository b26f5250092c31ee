#include "iecoredefs_startup.h"

#include "iecoredefs_types.h"

uint8_t IEDialogsBackground = 0;

void IECoreDefsInitialize() {
    IEGrayRedWeight = 21;
    IEGrayGreenWeight = 71;
    IEGrayBlueWeight = 8;
    IEDialogsBackground = 0;
}

void IECoreDefsFinalize() {}

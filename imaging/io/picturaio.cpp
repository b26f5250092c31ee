#include "picturaio.h"

bool IEColorManagementEnabled = false;
int32_t IEQuantizerMode = -1;
int32_t IENeuQuantQuality = -1;
bool IEUseCMYKProfile = false;
int32_t IEMetafileRasterLimit = 0;

void IEInitializePicturaIO() {
    IEColorManagementEnabled = false;
    IEQuantizerMode = -1;
    IENeuQuantQuality = -1;
    IEUseCMYKProfile = true;
    IEMetafileRasterLimit = 8000;
}

void IEFinalizePicturaIO() {}

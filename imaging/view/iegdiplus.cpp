#include "iegdiplus.h"

void IEGdiPlusInitialize() { IEGdiPlusResetState(); }

void IEGdiPlusFinalize() {}

#include "iepresetim.h"

void IEInitializePresetImages() {}
void IEFinalizePresetImages() {}

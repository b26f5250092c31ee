#include "iecoredefs_settings.h"

int32_t IEDefaultDPIX = 0;
int32_t IEDefaultDPIY = 0;
bool IEGlobalRemoteSession = false;
bool IEGlobalHasMMX = false;
int32_t IEScreenDPIX = 96;
int32_t IEScreenDPIY = 96;

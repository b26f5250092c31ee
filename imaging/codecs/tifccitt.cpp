#include "tifccitt.h"

void IEInitializeCCITT() {}
void IEFinalizeCCITT() {}

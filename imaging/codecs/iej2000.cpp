#include "iej2000.h"

void IEInitializeJ2000() {}
void IEFinalizeJ2000() {}

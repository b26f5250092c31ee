// The native build has no vision plug-in.
#include "iesight.h"

void IESightLoad() {}
void IESightUnload() {}

// The native build has no screen: the viewer unit's screen facts keep their defaults.
#include "picturaview.h"

void IEReadScreenFacts() {}
void IECreateGridPen() {}
void IEFreeViewResources() {}

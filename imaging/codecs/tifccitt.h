// Set-up and tear-down of the CCITT fax codec (its code trees). Stand-in: the steps do no work until the unit is built.
#pragma once

void IEInitializeCCITT();
void IEFinalizeCCITT();

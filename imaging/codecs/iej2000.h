// Set-up and tear-down of the JPEG 2000 glue (its colour tables and the codec library's formats). Stand-in: the steps do no work until the unit is built.
#pragma once

void IEInitializeJ2000();
void IEFinalizeJ2000();

// Set-up and tear-down of the preset images (their list). Stand-in: the steps do no work until the unit is built.
#pragma once

void IEInitializePresetImages();
void IEFinalizePresetImages();

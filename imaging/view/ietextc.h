// Set-up of the rich-text control unit: its clipboard format.
#pragma once
#include <cstdint>

// The clipboard format "PICTURA TEXTMEMO" (0 before the set-up and without a clipboard).
extern uint32_t IETextControlClipboardFormat;

void IETextControlInitialize();
void IETextControlFinalize();   // does nothing

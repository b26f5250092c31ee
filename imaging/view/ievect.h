// Set-up of the vector-object unit (stand-in: the clipboard format only; the text-editing
// shortcuts and the list of custom object classes come with the unit).
#pragma once
#include <cstdint>

// The clipboard format "PICTURA VECT" (0 before the set-up and without a clipboard).
extern uint32_t IEVectClipboardFormat;

void IEVectInitialize();
void IEVectFinalize();

class TStream;
// An objects stream at the position: "IEV" and a version from "1" to "S". The position is restored.
bool IEIsObjectsStream(TStream* Stream);
// A layers-and-objects stream: the offset of the objects stream (at most the stream's size), a
// layers stream after it and an objects stream at that offset. The position is restored.
bool IEIsAllStream(TStream* Stream);

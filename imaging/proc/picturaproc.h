// The processing unit's shared pieces and its set-up: the progress event of the free routines,
// the table that expands a 1-bit row byte into eight 24-bit pixels, the preset 3 x 3 filters with
// their names, and the raw clipboard format. The routines themselves live in picturaproc_*.h; the
// ones the buffer, the codecs and the I/O component call are reached from there through the
// procedure variables of ieprochooks.h (picturaproc_hooks.h installs them).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Classes.h"

// Progress of a long routine: the sender and a per-cent value; called only when assigned.
using TIEProgressEvent = std::function<void(TObject* Sender, int32_t Percent)>;

// A 3 x 3 convolution: nine coefficients row by row (top row first, left to right) and a
// divisor; a divisor of 0 counts as 1.
struct TIEFilterRecord {
    int32_t Values[3][3];
    int32_t Divisor;
};

// Entry v: the eight pixels of the 1-bit row byte v as three-byte pixels, most significant bit
// first, each byte 255 for a set bit and 0 for a clear one.
extern uint8_t IE1To24Table[256][24];
void IEBuild1To24Table();

// The preset filters and their names, same order ("None", "Blur", "Edges", "Emboss",
// "High Pass 1" to "High Pass 3", "Low Pass 1", "Low Pass 2"); built by the set-up, emptied by
// the tear-down.
extern std::vector<TIEFilterRecord> IEPresetFilters;
extern std::vector<std::wstring> IEPresetFilterNames;

// The clipboard format "PICTURA RAW FORMAT" (0 before the set-up and without a clipboard).
extern uint32_t IERawClipboardFormat;

void IEInitializePicturaProc();
void IEFinalizePicturaProc();

// The ending every load and save of the I/O component shares.
#pragma once

#include "picturaio.h"

// Runs Work, then IO.DoFinishWork, also when Work raises (the exception then goes on to the
// caller). DoFinishWork runs outside any destructor, so a finishing handler that raises reaches
// the caller too instead of ending the program.
template <class TWork>
void IEWithFinishWork(TPicturaIO& IO, TWork&& Work) {
    try {
        Work();
    } catch (...) {
        IO.DoFinishWork();
        throw;
    }
    IO.DoFinishWork();
}

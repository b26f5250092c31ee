// Helpers of the codec fuzz targets.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "Classes.h"

#include "imaging/io/picturaio_params.h"

// One parameter set, reset on each call and never destroyed (its metadata stand-ins clash with
// the real DICOM tag list linked beside them; destroying one corrupts the heap).
inline TIOParamsVals& CodecFuzzParams() {
    static TIOParamsVals& params = *new TIOParamsVals(nullptr);
    params.SetDefaultParams();
    return params;
}

// A progress record with its own abort flag.
struct TCodecFuzzProgress {
    std::atomic<bool> Abort{false};
    TIOProgressRecord Record;
    TCodecFuzzProgress() { Record.Aborting = &Abort; }
};

// Runs Reader(Stream, ProgressRecord) over a memory stream holding Size bytes of Data; true
// when the reader did not abort.
template <typename TReader>
bool CodecFuzzRead(const uint8_t* Data, size_t Size, TReader Reader) {
    TMemoryStream s;
    if (Size) s.WriteBuffer(Data, (int32_t)Size);
    s.SetPosition(0);
    TCodecFuzzProgress progress;
    Reader(s, progress.Record);
    return !progress.Abort;
}

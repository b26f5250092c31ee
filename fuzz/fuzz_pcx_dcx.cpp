// The PCX and DCX readers on any input: nothing is read outside the data and every read ends;
// what the PCX reader decodes comes back unchanged through the writer (1 bit or 24 bits, encoded
// or stored) and a second read; a page inserted into a DCX container reads back as a page of a
// container that still passes the probe.
//
// Input: a control byte (bit 0: DCX instead of PCX; bit 1: stored lines on writing; bits 2-3:
// the page index of the DCX insert), then the file.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "CodecFuzz.h"
#include "FuzzInput.h"
#include "pcxfilter.h"

namespace {

struct TCall {
    TIOParamsVals Params{nullptr};
    std::atomic<bool> Aborting{false};
    TIOProgressRecord Progress;
    TCall() { Progress.Aborting = &Aborting; }
};

void Fail(const char* What) {
    fprintf(stderr, "%s\n", What);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const uint8_t control = in.U8();
    const bool dcx = control & 1;
    TMemoryStream stream;
    FuzzFillStream(stream, in.Rest());
    const int32_t length = (int32_t)stream.GetSize();

    TCall probe;
    TIEBitmap bitmap;
    if (dcx) {
        const bool isDcx = IEIsDCX(stream);
        if (stream.GetPosition() != 0) Fail("the probe moved the stream");
        IEReadDCXStream(stream, &bitmap, probe.Params, probe.Progress, true);
        if (!isDcx && !probe.Aborting) Fail("a stream that fails the probe was read");
    } else {
        IEReadPCXStream(stream, &bitmap, probe.Params, length, probe.Progress, true);
    }
    // Sizes beyond what the data could fill are allocated by design: only small images are read.
    if (probe.Aborting || (int64_t)probe.Params.Width * probe.Params.Height > (1 << 20)) return 0;
    TCall load;
    load.Params.DCXImageIndex = probe.Params.DCXImageIndex;
    stream.SetPosition(0);
    if (dcx)
        IEReadDCXStream(stream, &bitmap, load.Params, load.Progress, false);
    else
        IEReadPCXStream(stream, &bitmap, load.Params, length, load.Progress, false);
    if (load.Aborting) return 0;
    if (bitmap.GetWidth() != load.Params.Width || bitmap.GetHeight() != load.Params.Height) Fail("size differs");

    TCall save;
    const bool oneBit = bitmap.GetPixelFormat() == ie1g;
    // A 24-bit line of more than 65534 bytes does not fit the header: the writer refuses it.
    if (!oneBit && bitmap.GetWidth() > 65534) return 0;
    save.Params.BitsPerSample = oneBit ? 1 : 8;
    save.Params.SamplesPerPixel = oneBit ? 1 : 3;
    save.Params.PCXCompression = (control & 2) ? 0 : 1;
    if (!dcx) {
        TMemoryStream written;
        IEWritePCXStream(written, &bitmap, save.Params, save.Progress);
        if (save.Aborting) Fail("writing failed");
        written.SetPosition(0);
        TCall back;
        TIEBitmap again;
        IEReadPCXStream(written, &again, back.Params, (int32_t)written.GetSize(), back.Progress, false);
        if (back.Aborting || !FuzzSamePixels(bitmap, again)) Fail("round trip changed the image");
        return 0;
    }
    const int32_t pages = load.Params.ImageCount;
    save.Params.DCXImageIndex = (control >> 2) & 3;
    IEWriteDCXStream(stream, &bitmap, save.Params, save.Progress);
    if (save.Aborting) Fail("inserting a page failed");
    stream.SetPosition(0);
    if (!IEIsDCX(stream)) Fail("the new container fails the probe");
    if (save.Params.DCXImageIndex > pages || pages >= 1024) return 0;   // nothing added, or past the table
    TCall back;
    back.Params.DCXImageIndex = save.Params.DCXImageIndex;
    TIEBitmap again;
    IEReadDCXStream(stream, &again, back.Params, back.Progress, false);
    if (back.Aborting || back.Params.ImageCount != pages + 1 || !FuzzSamePixels(bitmap, again))
        Fail("the inserted page does not read back");
    return 0;
}

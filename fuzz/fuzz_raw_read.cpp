// Camera raw files of any content through the camera-raw glue (LibRaw's data stream over TStream,
// the EXIF and Canon CIFF preview searches, the output stage): it never reads or writes outside
// its buffers and ends on every input; a decode that succeeds delivers a bitmap of the size the
// parameters give; the probe restores the position. Inputs whose image LibRaw would make larger
// than 2^18 pixels are skipped (the decode of such an image takes longer than a fuzz run allows).
//
// Input: one control byte (bit 0 the thumbnail instead of decoding, bit 1 half size, bit 2
// 16-bit output, bit 3 automatic colour adjustment, bit 4 slow interpolation), then the file.
#include <libraw/libraw.h>

#include <cstdint>
#include <memory>

#include "CodecFuzz.h"
#include "FuzzInput.h"
#include "iebitmap.h"
#include "imaging/codecs/ieraw.h"
#include "picturaview.h"

namespace {

bool SmallEnough(const std::string& File) {
    static LibRaw* raw = new LibRaw(LIBRAW_OPTIONS_NONE);
    raw->recycle();
    if (raw->open_buffer(const_cast<char*>(File.data()), File.size()) != LIBRAW_SUCCESS) return true;
    raw->adjust_sizes_info_only();
    const bool small = (uint64_t)raw->imgdata.sizes.raw_width * raw->imgdata.sizes.raw_height <= (1u << 18) &&
                       (uint64_t)raw->imgdata.sizes.iwidth * raw->imgdata.sizes.iheight <= (1u << 18);
    raw->recycle();
    return small;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = (IEPicturaViewInitialize(), true);
    (void)started;
    TFuzzInput in(data, size);
    const uint8_t control = in.U8();
    const std::string file = in.Rest();
    if (!SmallEnough(file)) return 0;

    TMemoryStream s;
    s.Write("pad", 3);
    if (!file.empty()) s.Write(file.data(), (int32_t)file.size());
    s.SetPosition(3);
    IEIsCameraRAW(&s);
    if (s.GetPosition() != 3) FuzzFinding("the probe moved the stream position");

    TIOParamsVals& params = CodecFuzzParams();
    params.SetRAWGetExifThumbnail(control & 1);
    params.RAWHalfSize = control & 2;
    params.NativePixelFormat = control & 4;
    params.RAWAutoAdjustColors = control & 8;
    params.RAWQuickInterpolate = !(control & 16);
    TIEBitmap bitmap;
    TCodecFuzzProgress progress;
    IEReadCameraRAWStream(&s, &bitmap, params, progress.Record, false);
    if (!progress.Abort && !(control & 1) &&
        (bitmap.GetWidth() != params.Width || bitmap.GetHeight() != params.Height))
        FuzzFinding("a decode whose bitmap is not the size of its parameters");
    return 0;
}

// Small helpers the hand-written codecs share: the abort flag and row progress of a progress
// record, the parameters' sample layout of a file's bit depth, and a 1-bit copy of an image of any
// format. Integers of a given byte order come from the run-time layer's ByteOrder.h.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "picturaio_params.h"

class TIEBitmap;
class TStream;

// True when the record has an abort flag and it is set.
inline bool IEIsAborting(const TIOProgressRecord& Progress) { return Progress.Aborting && Progress.Aborting->load(); }
// Sets the record's abort flag (when it has one).
inline void IEAbort(TIOProgressRecord& Progress) {
    if (Progress.Aborting) Progress.Aborting->store(true);
}

// The size check every decoder makes before allocating an image: False, with the abort flag set,
// when Width x Height is beyond IEMaxImagePixels, or when the stream holds fewer than MinBytes
// bytes after its position: the fewest bytes that can code the image's data, where the format
// makes that decidable (0 when it does not; a double, so that products of file sizes cannot overflow).
bool IEImageSizeAccepted(int64_t Width, int64_t Height, TIOProgressRecord& Progress, TStream* Stream = nullptr,
                         double MinBytes = 0);
// The same with the bytes the data can come from given (a part of a stream).
bool IEImageSizeAccepted(int64_t Width, int64_t Height, TIOProgressRecord& Progress, double Available,
                         double MinBytes);

// BitsPerSample and SamplesPerPixel of a file depth: 1, 4 and 8 one sample, 16 three of 5 bits,
// 24 three of 8, 32 four of 8; other depths leave them.
void IESetDepthParams(TIOParamsVals& IOParams, int32_t Depth);

// Row progress of one image: Row(n) reports Trunc(n x 100 / Height) when a handler is set.
class TIERowProgress {
public:
    TIERowProgress(TIOProgressRecord& Progress, int32_t Height)
        : FProgress(Progress), FFactor(Height > 0 ? 100.0 / Height : 0) {}
    void Row(int32_t Rows) {
        if (FProgress.OnProgress) FProgress.OnProgress(FProgress.Sender, (int32_t)(Rows * FFactor));
    }
    bool Aborted() const { return IEIsAborting(FProgress); }

private:
    TIOProgressRecord& FProgress;
    double FFactor;
};

// Sets every byte of the rows from FirstRow to the last to Value: the rows that data ending early
// did not reach.
void IEClearRowsFrom(TIEBitmap* Bitmap, int32_t FirstRow, uint8_t Value = 0);

// The grey level of a colour with the library's weights.
uint8_t IEGreyOf(uint8_t R, uint8_t G, uint8_t B);

// A new ie1g image of Width x Height holding the top-left part of Bitmap (any format): a pixel
// whose grey level is 128 or more is white (a set bit).
std::unique_ptr<TIEBitmap> IEMake1BitByThreshold(TIEBitmap* Bitmap, int32_t Width, int32_t Height);

// The page image of the document writers: Bitmap itself when it is ie1g or ie24RGB, else a 24-bit
// copy held in Temp.
TIEBitmap* IEBilevelOrRGB(TIEBitmap* Bitmap, std::unique_ptr<TIEBitmap>& Temp);

// The rows of an ie1g image through the CCITT group 4 (or group 3 two-dimensional) encoder, ended
// and padded with zero bytes to a multiple of 4. Rows go in as they are (1 = white): a fax decoder
// told "BlackIs1" gives them back as 1 = white samples.
std::vector<uint8_t> IECCITTEncodeBitmap(TIEBitmap* Bitmap, bool Group4);

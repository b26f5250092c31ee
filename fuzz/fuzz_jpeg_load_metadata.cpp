// JPEG files with any EXIF (GPS and thumbnail included), IPTC, XMP and ICC blocks through the I/O
// component's JPEG loader, which parses them all, then a save and a second load. Properties: the
// loader ends without an exception escaping; an applied orientation reads 1 afterwards; the save
// writes back the IPTC, XMP and ICC data the load read, so the second load reads the same again
// (where the file has one block of each kind; chunks numbered otherwise make no defined profile).
//
// Input: a JPEG file. Its last byte also chooses the switches (bit 0: apply the EXIF orientation;
// bit 1: the EXIF thumbnail instead of the image; bit 2: save and load again), so that the files
// exiftool makes serve as seeds unchanged.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CodecFuzz.h"
#include "iebitmap.h"
#include "iecoreutils_icc.h"
#include "iecoreutils_markers.h"
#include "jpegfilt.h"
#include "picturaio.h"
#include "picturaview.h"

namespace {

[[noreturn]] void Finding(const char* What) {
    std::fprintf(stderr, "fuzz_jpeg_load_metadata: %s\n", What);
    std::abort();
}

constexpr int64_t kMaxPixels = 1 << 18;

std::string IPTCText(const TIEIPTCInfoList& L) {
    std::string out;
    for (int32_t i = 0; i < L.GetCount(); ++i) {
        out += std::to_string(L.GetRecordNumber(i)) + ":" + std::to_string(L.GetDataSet(i)) + "=";
        out.append(L.GetData(i).begin(), L.GetData(i).end());
        out += '\n';
    }
    return out;
}

std::string ICCBytes(const TIOParamsVals& P) {
    if (!P.InputICCProfile || P.InputICCProfile->GetRawSize() == 0) return {};
    return std::string(reinterpret_cast<const char*>(P.InputICCProfile->GetRaw()),
                       static_cast<size_t>(P.InputICCProfile->GetRawSize()));
}

void Load(TPicturaIO& IO, const uint8_t* Data, size_t Size, uint8_t Control) {
    TMemoryStream stream;
    if (Size > 0) stream.WriteBuffer(Data, static_cast<int32_t>(Size));
    stream.SetPosition(0);
    IO.Params->JPEGEnableAdjustOrientation = (Control & 1) != 0;
    IO.Params->SetJPEGGetExifThumbnail((Control & 2) != 0);
    IO.LoadFromStreamJPEG(&stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1 << 20)) return 0;
    static const bool started = [] {
        if (!IEGIFLZWCompressor) IEInitializePicturaIO();
        IEPicturaViewInitialize();
        return true;
    }();
    (void)started;
    const uint8_t control = data[size - 1];

    // The header first: an image too large to decode quickly is left out.
    {
        TIOParamsVals& params = CodecFuzzParams();
        params.Width = params.Height = 0;
        TIEBitmap unused;
        if (!CodecFuzzRead(data, size, [&](TStream& S, TIOProgressRecord& Progress) {
                IEReadJPEGStream(&S, nullptr, &unused, params, Progress, true, false, true, false, true, true, -1,
                                 false);
            }))
            return 0;
        const int64_t w = params.Width, h = params.Height;
        if (w < 0 || h < 0 || w > kMaxPixels || h > kMaxPixels || w * h > kMaxPixels) return 0;
    }

    TPicturaIO io(nullptr);
    Load(io, data, size, control);
    if (io.Aborting) return 0;
    if ((control & 1) && !(control & 2) && io.Params->HasEXIFData && io.Params->EXIFOrientation != 1)
        Finding("an applied orientation is not 1 afterwards");
    if (!(control & 4) || io.GetIEBitmap()->IsEmpty()) return 0;

    // The writer's sort may exchange markers of one type, so only a single block of a kind (and a
    // profile whose chunks are numbered as the format has them) must read back the same.
    const TIEMarkerList& markers = *io.Params->JPEGMarkers;
    int32_t app13 = 0, xmpBlocks = 0;
    std::vector<int32_t> chunks;
    for (int32_t i = 0; i < markers.GetCount(); ++i) {
        const uint8_t* d = markers.GetMarkerData(i);
        const int32_t n = markers.GetMarkerLength(i);
        app13 += markers.GetMarkerType(i) == 0xED;
        xmpBlocks += markers.GetMarkerType(i) == 0xE1 && IEXMPPayload(d, n) != nullptr;
        if (markers.GetMarkerType(i) == 0xE2 && n > 13 && std::memcmp(d, "ICC_PROFILE", 12) == 0)
            chunks.push_back(d[12] << 8 | d[13]);
    }
    // A well-formed profile: chunks 1..n, each saying n.
    std::sort(chunks.begin(), chunks.end());
    bool oneProfile = true;
    for (size_t k = 0; k < chunks.size(); ++k)
        oneProfile = oneProfile && chunks[k] == static_cast<int32_t>((k + 1) << 8 | chunks.size());
    const std::string iptc = IPTCText(*io.Params->IPTCInfo), xmp = io.Params->XMPInfo, icc = ICCBytes(*io.Params);
    TMemoryStream saved;
    io.SaveToStreamJPEG(&saved);
    if (io.Aborting) return 0;
    TPicturaIO again(nullptr);
    Load(again, static_cast<const uint8_t*>(saved.GetMemory()), static_cast<size_t>(saved.GetSize()), 0);
    if (again.Aborting) Finding("our own file does not load");
    if (app13 <= 1 && IPTCText(*again.Params->IPTCInfo) != iptc) Finding("the IPTC data changed through a save");
    // A packet too large for one marker is left out by the save.
    if (xmpBlocks <= 1 && xmp.size() + 29 <= 65533 && again.Params->XMPInfo != xmp)
        Finding("the XMP packet changed through a save");
    // The thumbnail's load reads no profile.
    if (!(control & 2) && oneProfile && ICCBytes(*again.Params) != icc) Finding("the ICC profile changed through a save");
    return 0;
}

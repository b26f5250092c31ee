// Format detection by content: any bytes give a known file type or 0, from any stream position,
// and every probe leaves the position where it found it.
#include <cstdint>
#include <vector>

#include "Classes.h"
#include "FuzzInput.h"
#include "picturaio_formats.h"
#include "imaging/codecs/bmpfilt_ico.h"
#include "imaging/codecs/bmpfilt_pnm.h"
#include "imaging/codecs/bmpfilt_raw.h"
#include "imaging/codecs/iedicom.h"
#include "imaging/codecs/iej2000.h"
#include "imaging/codecs/iepsd.h"
#include "imaging/codecs/ieraw.h"
#include "imaging/codecs/ietgafil.h"
#include "imaging/codecs/jpegfilt.h"
#include "imaging/codecs/pcxfilter.h"
#include "imaging/codecs/pngfilt.h"
#include "imaging/codecs/tiffilt_read.h"

namespace {

void Check(TStream& Stream, int64_t Position) {
    static bool (*const probes[])(TStream*) = {
        IEIsHDPhoto, IEIsTIFF, IEIsTIFFStructure, IEIsCameraRAWTIFF, IEIsDICOM, IEIsJP2, IEIsJ2K, IEIsAVI,
        IEIsPSD, IEIsObjectsStream, IEIsLayersStream, IEIsAllStream, IEIsCameraRAW,
    };
    Stream.SetPosition(Position);
    const TIOFileType found = IEFindStreamFormat(&Stream);
    if (found < ioUnknown || found > ioHDP) FuzzFinding("a file type outside the known ones");
    if (Stream.GetPosition() != Position) FuzzFinding("detection moved the stream position");
    for (auto probe : probes) {
        probe(&Stream);
        if (Stream.GetPosition() != Position) FuzzFinding("a probe moved the stream position");
    }
    for (auto probe : {IEIsPNG, IEIsICO, IEIsCUR, IEIsTGA, IEIsPNM, IEIsDCX, IEIsWMF, IEIsEMF}) {
        probe(Stream);
        if (Stream.GetPosition() != Position) FuzzFinding("a probe moved the stream position");
    }
    const int64_t jpeg = IEFindJPEGStart(&Stream, true);
    if (jpeg < -1 || (jpeg >= 0 && (jpeg < Position || jpeg >= Position + 150)))
        FuzzFinding("a JPEG start outside the first 150 bytes");
    if (Stream.GetPosition() != Position) FuzzFinding("the JPEG search moved the stream position");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream stream;
    if (size > 0) stream.Write(data, static_cast<int32_t>(size));
    Check(stream, 0);
    if (size > 0) Check(stream, 1);
    return 0;
}

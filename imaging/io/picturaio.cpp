#include "picturaio.h"

#include "Classes.h"
#include "SysUtils.h"
#include "giflzw.h"
#include "picturaio_url.h"
#include "tiflzw.h"

bool IEBufferedStreamRelative = false;
int32_t IEMetafileMaxSize = 8000;
bool IEAVIFileInitialized = false;
std::wstring IETWLogFileName;

void IEInitializePicturaIO() {
    // The library's own LZW coders; every new parameter set copies them, and a caller may put
    // others in their place.
    IETIFFLZWDecompressor = IETIFFLZWDecompress;
    IETIFFLZWCompressor = IETIFFLZWCompress;
    IEGIFLZWDecompressor = IEGIFLZWDecompress;
    IEGIFLZWCompressor = IEGIFLZWCompress;
    IEDebugLogFileName.clear();
    IEInitFileFormats();
    IEAVIFileInitialized = false;
    IETWLogFileName.clear();
    IEUnbindWinInet();
    IEBindWinInet();
    IEColorConvertHook = IEConvertColorRow;
    IEColorManagementEnabled = false;
    IEIOPlugins.clear();
    IEQuantizerMode = -1;
    IENeuQuantQuality = -1;
    IEBufferedStreamRelative = false;
    IEUseCMYKProfile = true;
    IEFreeCMYKProfiles();
    IEMetafileMaxSize = 8000;
}

void IEFinalizePicturaIO() {
    IEFreeCMYKProfiles();
    IEFreeIOPlugins();
    IEFreeFileFormats();
    if (IEAVIFileInitialized) IEAVILibraryExit();
    IEAVIFileInitialized = false;
    IEUnbindWinInet();
}

void IEFreeIOPlugins() {
    for (const TIEIOPlugin& plugin : IEIOPlugins) IEFileFormatRemove(plugin.FileType);
    IEIOPlugins.clear();
}

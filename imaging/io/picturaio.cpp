#include "picturaio.h"

#include "Classes.h"
#include "SysUtils.h"

int32_t IEQuantizerMode = -1;
int32_t IENeuQuantQuality = -1;
bool IEBufferedStreamRelative = false;
int32_t IEMetafileMaxSize = 8000;
bool IEAVIFileInitialized = false;
std::wstring IEDebugLogFileName;
std::wstring IETWLogFileName;

void IEInitializePicturaIO() {
    // The LZW codecs are installed here once their units are in the library; until then the
    // procedure variables stay null and the TIFF and GIF codecs find no LZW coder.
    IEDebugLogFileName.clear();
    IEInitFileFormats();
    IEAVIFileInitialized = false;
    IETWLogFileName.clear();
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
    IEAVIFileInitialized = false;
}

void IEFreeIOPlugins() {
    for (const TIEIOPlugin& plugin : IEIOPlugins) IEFileFormatRemove(plugin.FileType);
    IEIOPlugins.clear();
}

void IEDebugLog(const std::wstring& Message) {
    if (IEDebugLogFileName.empty()) return;
    const TDateTime now = Now();
    const std::wstring line = FormatDateTime(FormatSettings.ShortDateFormat, now) + L" " +
                              FormatDateTime(FormatSettings.LongTimeFormat, now) + L" : " + Message + L"\r\n";
    const std::string bytes = WideToAnsi(line);
    TFileStream log(IEDebugLogFileName, FileExists(IEDebugLogFileName) ? fmOpenWrite | fmShareDenyWrite : fmCreate);
    log.Seek(0, soEnd);
    log.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// Not built yet: each operation below raises until its body lands.
#include "picturaio.h"

#include "SysUtils.h"

namespace {
[[noreturn]] void NotBuilt(const wchar_t* Name) {
    throw Exception(std::wstring(L"TPicturaIO::") + Name + L" is not built yet");
}
}  // namespace

void TPicturaIO::SaveToFileTIFF(const std::wstring&) { NotBuilt(L"SaveToFileTIFF"); }
void TPicturaIO::SaveToStreamTIFF(TStream*) { NotBuilt(L"SaveToStreamTIFF"); }
void TPicturaIO::SaveToFileGIF(const std::wstring&) { NotBuilt(L"SaveToFileGIF"); }
void TPicturaIO::SaveToStreamGIF(TStream*) { NotBuilt(L"SaveToStreamGIF"); }
void TPicturaIO::SaveToFileJPEG(const std::wstring&) { NotBuilt(L"SaveToFileJPEG"); }
void TPicturaIO::SaveToStreamJPEG(TStream*) { NotBuilt(L"SaveToStreamJPEG"); }
void TPicturaIO::UpdateJPEGResolutionMarker() { NotBuilt(L"UpdateJPEGResolutionMarker"); }
void TPicturaIO::SaveToFilePCX(const std::wstring&) { NotBuilt(L"SaveToFilePCX"); }
void TPicturaIO::SaveToStreamPCX(TStream*) { NotBuilt(L"SaveToStreamPCX"); }
void TPicturaIO::SaveToFileBMP(const std::wstring&) { NotBuilt(L"SaveToFileBMP"); }
void TPicturaIO::SaveToStreamBMP(TStream*) { NotBuilt(L"SaveToStreamBMP"); }
void TPicturaIO::SyncSaveToStreamBMP(TStream*) { NotBuilt(L"SyncSaveToStreamBMP"); }
void TPicturaIO::SaveToFileICO(const std::wstring&) { NotBuilt(L"SaveToFileICO"); }
void TPicturaIO::SaveToStreamICO(TStream*) { NotBuilt(L"SaveToStreamICO"); }
void TPicturaIO::SaveToFilePNG(const std::wstring&) { NotBuilt(L"SaveToFilePNG"); }
void TPicturaIO::SaveToStreamPNG(TStream*) { NotBuilt(L"SaveToStreamPNG"); }
void TPicturaIO::SaveToFileTGA(const std::wstring&) { NotBuilt(L"SaveToFileTGA"); }
void TPicturaIO::SaveToStreamTGA(TStream*) { NotBuilt(L"SaveToStreamTGA"); }
void TPicturaIO::SaveToFilePXM(const std::wstring&) { NotBuilt(L"SaveToFilePXM"); }
void TPicturaIO::SaveToStreamPXM(TStream*) { NotBuilt(L"SaveToStreamPXM"); }
void TPicturaIO::SaveToFileJP2(const std::wstring&) { NotBuilt(L"SaveToFileJP2"); }
void TPicturaIO::SaveToStreamJP2(TStream*) { NotBuilt(L"SaveToStreamJP2"); }
void TPicturaIO::SaveToFileJ2K(const std::wstring&) { NotBuilt(L"SaveToFileJ2K"); }
void TPicturaIO::SaveToStreamJ2K(TStream*) { NotBuilt(L"SaveToStreamJ2K"); }
void TPicturaIO::SyncSaveToStreamJ2000(TStream*, int32_t) { NotBuilt(L"SyncSaveToStreamJ2000"); }
void TPicturaIO::SaveToFileWBMP(const std::wstring&) { NotBuilt(L"SaveToFileWBMP"); }
void TPicturaIO::SaveToStreamWBMP(TStream*) { NotBuilt(L"SaveToStreamWBMP"); }
void TPicturaIO::SaveToFilePS(const std::wstring&) { NotBuilt(L"SaveToFilePS"); }
void TPicturaIO::SaveToStreamPS(TStream*) { NotBuilt(L"SaveToStreamPS"); }
void TPicturaIO::SyncSaveToStreamPS(TStream*) { NotBuilt(L"SyncSaveToStreamPS"); }
void TPicturaIO::SaveToFilePDF(const std::wstring&) { NotBuilt(L"SaveToFilePDF"); }
void TPicturaIO::SaveToStreamPDF(TStream*) { NotBuilt(L"SaveToStreamPDF"); }
void TPicturaIO::SyncSaveToStreamPDF(TStream*) { NotBuilt(L"SyncSaveToStreamPDF"); }
void TPicturaIO::SaveToFileDCX(const std::wstring&) { NotBuilt(L"SaveToFileDCX"); }
void TPicturaIO::SaveToStreamDCX(TStream*) { NotBuilt(L"SaveToStreamDCX"); }
void TPicturaIO::SyncSaveToStreamDCX(TStream*) { NotBuilt(L"SyncSaveToStreamDCX"); }
void TPicturaIO::SaveToFilePSD(const std::wstring&) { NotBuilt(L"SaveToFilePSD"); }
void TPicturaIO::SaveToStreamPSD(TStream*) { NotBuilt(L"SaveToStreamPSD"); }
void TPicturaIO::SyncSaveToStreamPSD(TStream*) { NotBuilt(L"SyncSaveToStreamPSD"); }

// Not built yet: each operation below raises until its body lands.
#include "picturaio.h"

#include "SysUtils.h"

namespace {
[[noreturn]] void NotBuilt(const wchar_t* Name) {
    throw Exception(std::wstring(L"TPicturaIO::") + Name + L" is not built yet");
}
}  // namespace

int32_t TPicturaIO::LoadFromFileTIFF(const std::wstring&) { NotBuilt(L"LoadFromFileTIFF"); }
int32_t TPicturaIO::LoadFromStreamTIFF(TStream*) { NotBuilt(L"LoadFromStreamTIFF"); }
int32_t TPicturaIO::SyncLoadFromStreamTIFF(TStream*, bool) { NotBuilt(L"SyncLoadFromStreamTIFF"); }
void TPicturaIO::LoadFromFileJPEG(const std::wstring&) { NotBuilt(L"LoadFromFileJPEG"); }
void TPicturaIO::LoadFromStreamJPEG(TStream*) { NotBuilt(L"LoadFromStreamJPEG"); }
void TPicturaIO::LoadFromFilePCX(const std::wstring&) { NotBuilt(L"LoadFromFilePCX"); }
void TPicturaIO::LoadFromStreamPCX(TStream*) { NotBuilt(L"LoadFromStreamPCX"); }
void TPicturaIO::SyncLoadFromStreamPCX(TStream*, bool) { NotBuilt(L"SyncLoadFromStreamPCX"); }
void TPicturaIO::LoadFromFileBMP(const std::wstring&) { NotBuilt(L"LoadFromFileBMP"); }
void TPicturaIO::LoadFromStreamBMP(TStream*) { NotBuilt(L"LoadFromStreamBMP"); }
void TPicturaIO::SyncLoadFromStreamBMP(TStream*) { NotBuilt(L"SyncLoadFromStreamBMP"); }
void TPicturaIO::LoadFromFileICO(const std::wstring&) { NotBuilt(L"LoadFromFileICO"); }
void TPicturaIO::LoadFromStreamICO(TStream*) { NotBuilt(L"LoadFromStreamICO"); }
void TPicturaIO::SyncLoadFromStreamICO(TStream*) { NotBuilt(L"SyncLoadFromStreamICO"); }
void TPicturaIO::LoadFromFileCUR(const std::wstring&) { NotBuilt(L"LoadFromFileCUR"); }
void TPicturaIO::LoadFromStreamCUR(TStream*) { NotBuilt(L"LoadFromStreamCUR"); }
void TPicturaIO::SyncLoadFromStreamCUR(TStream*) { NotBuilt(L"SyncLoadFromStreamCUR"); }
void TPicturaIO::LoadFromFilePNG(const std::wstring&) { NotBuilt(L"LoadFromFilePNG"); }
void TPicturaIO::LoadFromStreamPNG(TStream*) { NotBuilt(L"LoadFromStreamPNG"); }
void TPicturaIO::LoadFromFileTGA(const std::wstring&) { NotBuilt(L"LoadFromFileTGA"); }
void TPicturaIO::LoadFromStreamTGA(TStream*) { NotBuilt(L"LoadFromStreamTGA"); }
void TPicturaIO::LoadFromFilePXM(const std::wstring&) { NotBuilt(L"LoadFromFilePXM"); }
void TPicturaIO::LoadFromStreamPXM(TStream*) { NotBuilt(L"LoadFromStreamPXM"); }
void TPicturaIO::LoadFromFileJP2(const std::wstring&) { NotBuilt(L"LoadFromFileJP2"); }
void TPicturaIO::LoadFromStreamJP2(TStream*) { NotBuilt(L"LoadFromStreamJP2"); }
void TPicturaIO::LoadFromFileJ2K(const std::wstring&) { NotBuilt(L"LoadFromFileJ2K"); }
void TPicturaIO::LoadFromStreamJ2K(TStream*) { NotBuilt(L"LoadFromStreamJ2K"); }
void TPicturaIO::SyncLoadFromStreamJ2000(TStream*) { NotBuilt(L"SyncLoadFromStreamJ2000"); }
void TPicturaIO::LoadFromFileWBMP(const std::wstring&) { NotBuilt(L"LoadFromFileWBMP"); }
void TPicturaIO::LoadFromStreamWBMP(TStream*) { NotBuilt(L"LoadFromStreamWBMP"); }
void TPicturaIO::LoadFromFileDCX(const std::wstring&) { NotBuilt(L"LoadFromFileDCX"); }
void TPicturaIO::LoadFromStreamDCX(TStream*) { NotBuilt(L"LoadFromStreamDCX"); }
void TPicturaIO::SyncLoadFromStreamDCX(TStream*) { NotBuilt(L"SyncLoadFromStreamDCX"); }
void TPicturaIO::LoadFromFileBMPRAW(const std::wstring&) { NotBuilt(L"LoadFromFileBMPRAW"); }
void TPicturaIO::LoadFromStreamBMPRAW(TStream*) { NotBuilt(L"LoadFromStreamBMPRAW"); }
void TPicturaIO::SyncLoadFromStreamBMPRAW(TStream*) { NotBuilt(L"SyncLoadFromStreamBMPRAW"); }
void TPicturaIO::LoadFromFilePSD(const std::wstring&) { NotBuilt(L"LoadFromFilePSD"); }
void TPicturaIO::LoadFromStreamPSD(TStream*) { NotBuilt(L"LoadFromStreamPSD"); }
void TPicturaIO::SyncLoadFromStreamPSD(TStream*) { NotBuilt(L"SyncLoadFromStreamPSD"); }
void TPicturaIO::LoadFromFileLayered(const std::wstring&, TIOFileType) { NotBuilt(L"LoadFromFileLayered"); }
void TPicturaIO::LoadFromStreamLayered(TStream*, TIOFileType) { NotBuilt(L"LoadFromStreamLayered"); }
void TPicturaIO::LoadFromFileDICOM(const std::wstring&) { NotBuilt(L"LoadFromFileDICOM"); }
void TPicturaIO::LoadFromStreamDICOM(TStream*) { NotBuilt(L"LoadFromStreamDICOM"); }

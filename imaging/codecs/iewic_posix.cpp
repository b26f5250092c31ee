// The imaging component's twin on systems without it: nothing opens, every read and write fails.
#include "iewic.h"

#include "iecoredefs_settings.h"

bool IEWICAvailable() { return false; }

struct TIEWICReader::TState {};

TIEWICReader::TIEWICReader() : FState(std::make_unique<TState>()), FDpiX(IEDefaultDPIX), FDpiY(IEDefaultDPIY) {}
TIEWICReader::~TIEWICReader() = default;
bool TIEWICReader::Open(TStream*, TIOFileType) { return false; }
void TIEWICReader::Read(int32_t, TIEBitmap*, bool& Aborting, TIOParamsVals*) { Aborting = true; }
int32_t TIEWICReader::FrameWidth() { return 0; }
int32_t TIEWICReader::FrameHeight() { return 0; }

struct TIEWICWriter::TState {};

TIEWICWriter::TIEWICWriter() : DpiX(IEDefaultDPIX), DpiY(IEDefaultDPIY), FState(std::make_unique<TState>()) {}
TIEWICWriter::~TIEWICWriter() = default;
bool TIEWICWriter::Open(TStream*, TIOFileType) { return false; }
bool TIEWICWriter::WriteFrame(TIEBitmap*, TIOParamsVals*) { return false; }

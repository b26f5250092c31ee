// Opens arbitrary bytes as an archive and tests every entry.
//
// Pending: the reader (ZFVolumes, ZFDirectory, ZFRead) is not in the native build yet; once its
// sources are in KW_ZIP_READER_SOURCES (native/CMakeLists.txt), this target opens the input on a
// caller's stream (TZFArchiveReader::OpenDirectoryOnStream), calls TestEntry for every entry and
// lets only the engine's own exceptions (Exception and its descendants) pass; then the target
// gets a run time in native/CMakeLists.txt. Until then it only holds the input in memory.
#include <cstdint>

#include "Classes.h"
#include "ZFConst.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZFEngineStartup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream archive;
    if (size > 0) archive.WriteBuffer(data, (int32_t)size);
    archive.SetPosition(0);
    return 0;
}

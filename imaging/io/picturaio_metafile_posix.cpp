// Metafile import where the system has no metafile support: every import fails (Aborting set,
// the bitmap and the parameters untouched).
#include "picturaio.h"
#include "picturaio_metafile.h"

TIEMetafile::~TIEMetafile() = default;

void TIEMetafile::LoadFromStream(TStream&) {}

void TPicturaIO::ImportMetafile(TIEMetafile*, int32_t, int32_t, bool) { Aborting = true; }

void TPicturaIO::ImportMetafileData(TStream*, int32_t, int32_t, bool) { Aborting = true; }

void TPicturaIO::ParamsFromMetafileStream(TStream*) { Aborting = true; }

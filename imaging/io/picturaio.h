// Set-up of the I/O front end (stand-in: the library switches; the LZW codec procedures, the
// file-format table, the colour-row hook and the plug-in list come with the front end and the
// codecs).
#pragma once
#include <cstdint>

// Colour management through ICC profiles (False after the set-up; nothing sets it True).
extern bool IEColorManagementEnabled;
// The quantizer's mode and NeuQuant quality: -1, automatic.
extern int32_t IEQuantizerMode;
extern int32_t IENeuQuantQuality;
// CMYK pixels convert through the built-in CMYK profile when it loads.
extern bool IEUseCMYKProfile;
// The largest side of a metafile rendered to pixels.
extern int32_t IEMetafileRasterLimit;

void IEInitializePicturaIO();
void IEFinalizePicturaIO();

// Start-up and shut-down of the I/O front end and the library-wide state it keeps: the LZW codec
// procedures every parameter set copies, the file-format table, the colour-row hook and its CMYK
// profiles, the colour-management and quantizer switches, the list of I/O plug-ins and the debug
// log. The library's start-up (IEStaticInitialize) calls IEInitializePicturaIO once; its
// shut-down calls IEFinalizePicturaIO.
#pragma once
#include <cstdint>
#include <string>

#include "picturaio_colour.h"
#include "picturaio_formats.h"
#include "picturaio_params.h"

// The quantizer's mode and NeuQuant quality: -1, automatic.
extern int32_t IEQuantizerMode;
extern int32_t IENeuQuantQuality;
// Buffered streams count positions from where they started (False after start-up).
extern bool IEBufferedStreamRelative;
// The largest side in pixels of a metafile rendered to pixels.
extern int32_t IEMetafileMaxSize;
// The AVI library was initialised by a first AVI open.
extern bool IEAVIFileInitialized;
// The file of IEDebugLog and of the TWAIN session log; empty (nothing in the system sets them).
extern std::wstring IEDebugLogFileName;
extern std::wstring IETWLogFileName;

void IEInitializePicturaIO();
void IEFinalizePicturaIO();
// Releases every loaded I/O plug-in (its row of the format table first), then empties the list.
void IEFreeIOPlugins();
// Appends "date time : Message" to IEDebugLogFileName when it is set; file errors raise the
// stream exceptions of the run-time layer.
void IEDebugLog(const std::wstring& Message);

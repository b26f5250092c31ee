// The loader of the optional vision plug-in "iesight.dll". The library only creates the plug-in's
// library object through the exported "iev_Library_create" and releases it; a missing plug-in is
// the normal case and silent.
#pragma once
#include <cstdint>

// The plug-in's library object: reference-counted, released by dropping the reference.
struct IIESightLibrary {
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    ~IIESightLibrary() = default;
};

extern void* IESightLibrary;                     // the loaded library, null when absent
extern IIESightLibrary* IESightLibraryObject;    // its library object, null when none

// Loads the plug-in by name (the system's search order); when it exports "iev_Library_create",
// calls it with the address of IESightLibraryObject. A library without that entry point is
// unloaded again.
void IESightLoad();
// When IESightAvailable: drops the object's reference and unloads the library.
void IESightUnload();
bool IESightAvailable();

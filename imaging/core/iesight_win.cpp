// The vision plug-in loaded through the system's library loader.
#include "iesight.h"

#include "WinApi.h"
#include "iecoreutils_threads.h"

namespace {

using TLibraryCreate = void(__stdcall*)(IIESightLibrary** Obj);

void DropObject() {
    if (IESightLibraryObject) IESightLibraryObject->Release();
    IESightLibraryObject = nullptr;
}

}  // namespace

void IESightLoad() {
    HMODULE library = LoadLibraryW(L"iesight.dll");
    if (!library) return;
    const auto create =
        reinterpret_cast<TLibraryCreate>(reinterpret_cast<void*>(GetProcAddress(library, "iev_Library_create")));
    if (!create) {
        // Not the plug-in this library knows: nothing of it may be called.
        FreeLibrary(library);
        return;
    }
    IESightLibrary = library;
    DropObject();
    create(&IESightLibraryObject);
}

void IESightUnload() {
    if (!IESightAvailable()) return;
    DropObject();
    IEFreeLibrary(IESightLibrary);
}

#include "iesight.h"

void* IESightLibrary = nullptr;
IIESightLibrary* IESightLibraryObject = nullptr;

bool IESightAvailable() {
    return IESightLibrary != nullptr && IESightLibraryObject != nullptr;
}

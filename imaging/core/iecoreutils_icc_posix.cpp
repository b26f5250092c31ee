// Without the Windows colour-management module: profiles never open, nothing converts.
#include "iecoreutils_icc.h"

bool IELoadMSCMS() { return false; }
uint32_t IEICCModuleGeneration() { return 0; }
bool IEICCHandlesAlive(uint32_t Generation) { return false; }
void* IEICCOpenMemoryProfile(const void* Data, int32_t Size) { return nullptr; }
void* IEICCOpenNamedProfile(const char* FileName) { return nullptr; }
void IEICCCloseProfile(void* Profile) {}
void* IEICCCreateTransform(void* Source, void* Dest, uint32_t Flags) { return nullptr; }
void IEICCDeleteTransform(void* Transform) {}
bool IEICCTranslateColors(void* Transform, const TIEICCColor* Input, int32_t Count, int32_t InputType,
                          TIEICCColor* Output, int32_t OutputType) {
    return false;
}

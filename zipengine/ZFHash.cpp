#include "ZFHash.h"

#include <cstring>

static const THashDescriptor* HashSlots[HashMaxNumber + 1] = {};

static bool WellFormed(const THashDescriptor* d) {
    return d && d->Signature == HashDescriptorSignature && d->RecordSize == HashDescriptorSize &&
           d->Version == HashDescriptorVersion && d->BlockSize <= HashMaxBlockSize &&
           d->DigestSize <= sizeof(THashDigest::Bytes);
}

void RegisterHash(int32_t number, const THashDescriptor* descriptor) {
    if (number < 0 || number > HashMaxNumber) return;
    if (WellFormed(descriptor) && descriptor->Number == number) HashSlots[number] = descriptor;
}

const THashDescriptor* HashById(int32_t number) {
    if (number < 0 || number > HashMaxNumber) return nullptr;
    const THashDescriptor* d = HashSlots[number];
    return d && d->Signature == HashDescriptorSignature && d->Number == number ? d : nullptr;
}

static std::string AsciiUpper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    return s;
}

const THashDescriptor* HashByName(const std::string& name) {
    const std::string wanted = AsciiUpper(name.substr(0, 19));
    for (const THashDescriptor* d : HashSlots)
        if (d && d->Name && AsciiUpper(d->Name) == wanted) return d;
    return nullptr;
}

void ClearHashRegistry() {
    for (const THashDescriptor*& d : HashSlots) d = nullptr;
}

void HashAll(const THashDescriptor* descriptor, const void* data, uint32_t size, THashDigest& digest) {
    THashState state;
    descriptor->Init(state);
    descriptor->Update(state, data, size);
    descriptor->Final(state, digest);
}

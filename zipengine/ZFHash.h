// The hash registry: constant descriptors of hash algorithms, found by number or by name.
#pragma once
#include <cstdint>
#include <string>

// Working state of any registered hash (each algorithm keeps its own record inside).
struct THashState {
    alignas(8) uint8_t Data[224];
};

// A finished digest: the finish procedure zero-fills the area and writes the digest at its start.
struct THashDigest {
    uint8_t Bytes[64];
};

using THashInit = void (*)(THashState& state);
using THashUpdate = void (*)(THashState& state, const void* data, uint32_t size);
using THashFinal = void (*)(THashState& state, THashDigest& digest);

constexpr uint16_t HashDescriptorSignature = 0x3D7A;
constexpr uint16_t HashDescriptorSize = 80;
constexpr uint32_t HashDescriptorVersion = 0x00010003;
constexpr int32_t HashMaxNumber = 8;
constexpr uint16_t HashMaxBlockSize = 128;

struct THashDescriptor {
    uint16_t Signature;   // HashDescriptorSignature
    uint16_t RecordSize;  // HashDescriptorSize
    uint32_t Version;     // HashDescriptorVersion
    uint16_t BlockSize;   // bytes fed to the compression function at once
    uint16_t DigestSize;
    THashInit Init;
    THashUpdate Update;
    THashFinal Final;
    uint8_t Number;       // slot in the registry
    const char* Name;
};

// Stores the descriptor in its slot when it is well-formed and its number is the one given.
void RegisterHash(int32_t number, const THashDescriptor* descriptor);
// The descriptor in the slot, or nullptr.
const THashDescriptor* HashById(int32_t number);
// The first registered descriptor whose name equals the given one (cut to 19 characters) without
// regard to the case of ASCII letters, or nullptr.
const THashDescriptor* HashByName(const std::string& name);
// Empties every slot.
void ClearHashRegistry();

// Initialise, add the data, finish.
void HashAll(const THashDescriptor* descriptor, const void* data, uint32_t size, THashDigest& digest);

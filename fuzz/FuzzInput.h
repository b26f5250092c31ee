// Helpers of the fuzz targets: reading fields off the front of an input, and a finding that
// stops the program (libFuzzer then keeps the input as a crash artifact).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Little-endian fields from the front of the input; past its end every field reads as zero.
class TFuzzInput {
public:
    TFuzzInput(const uint8_t* data, size_t size) : FData(data), FSize(size) {}

    uint8_t U8() { return FPos < FSize ? FData[FPos++] : 0; }
    uint16_t U16() { return (uint16_t)(U8() | U8() << 8); }
    uint32_t U32() { return (uint32_t)U16() | (uint32_t)U16() << 16; }
    // Up to count bytes.
    std::string Bytes(size_t count) {
        if (count > FSize - FPos) count = FSize - FPos;
        std::string s(reinterpret_cast<const char*>(FData + FPos), count);
        FPos += count;
        return s;
    }
    std::string Rest() { return Bytes(FSize - FPos); }
    size_t Left() const { return FSize - FPos; }

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
};

// A property of the code under test does not hold.
[[noreturn]] inline void FuzzFinding(const char* what) {
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    std::abort();
}

// Foundations of the engine's cryptography framework: the protection base class with its chain
// and its buffer, stream, file and string processing; the string formats that turn bytes into
// text and back; and the small routines (rotation, byte swaps, buffer XOR, seeds, random bytes,
// the progress callback).
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "SysUtils.h"

class TStream;

KW_DECLARE_EXCEPTION(EProtection, Exception);
KW_DECLARE_EXCEPTION(EStringFormat, Exception);

// ---- Small routines --------------------------------------------------------------------------

inline uint32_t ROL(uint32_t value, int shift) {
    shift &= 31;
    return shift ? (value << shift) | (value >> (32 - shift)) : value;
}
inline uint32_t SwapInteger(uint32_t value) {
    return __builtin_bswap32(value);
}
// Byte-swaps count 32-bit values from source to dest (the two may be the same).
void SwapIntegerBuffer(const void* source, void* dest, size_t count);
// dest := a xor b over size bytes (dest may be a or b).
void XORBuffers(const void* a, const void* b, size_t size, void* dest);
// True when the two blocks hold the same bytes.
bool CompareBuffers(const void* a, const void* b, size_t size);

// The clock seed: the time of day in milliseconds xor both halves of the performance counter.
uint32_t RndTimeSeed();
// Fills the buffer from the seed (per byte: seed := ((seed xor byte) * 134775813 + 1) on the low
// byte, byte := top byte of seed); returns the seed for the next call.
uint32_t RndXORBuffer(uint32_t seed, void* buffer, size_t size);

// Bytes from the system's cryptographic generator.
void RandomBuffer(void* buffer, size_t size);
// Salt bytes: each a value in 0..254, uniformly, from the system's cryptographic generator.
void RandomSalt(uint8_t* buffer, size_t size);

// The global progress callback of stream processing, called only while assigned.
using TProgressCallback = void (*)(void* data, const void* sender, int64_t current, int64_t maximum);
void SetProgressCallback(TProgressCallback callback, void* data);
void DoProgress(const void* sender, int64_t current, int64_t maximum);

// ---- String formats -------------------------------------------------------------------------------

constexpr int32_t fmtCOPY = 1;
constexpr int32_t fmtHEX = 16;
constexpr int32_t fmtHEXL = 1016;
constexpr int32_t fmtMIME64 = 4196;
constexpr int32_t fmtUU = 21845;
constexpr int32_t fmtXX = 22616;
constexpr int32_t fmtDEFAULT = fmtMIME64;

// A string format: bytes to text and back. Each format is one constant object; the registry keeps
// pointers to them (the format "classes").
class TStringFormat {
public:
    virtual ~TStringFormat() = default;
    virtual std::string ToBinary(const char* text, size_t size) const;
    virtual std::string FromBinary(const char* data, size_t size) const;
    virtual std::wstring FormatName() const;
    virtual int32_t FormatId() const { return fmtCOPY; }
    // Direction false: bytes to text; true: text to bytes.
    virtual bool IsValid(const char* data, size_t size, bool toBinary) const;
    virtual const wchar_t* ClassName() const { return L"TStringFormat"; }
};

class TStringFormat_HEX : public TStringFormat {
public:
    std::string ToBinary(const char* text, size_t size) const override;
    std::string FromBinary(const char* data, size_t size) const override;
    std::wstring FormatName() const override;
    int32_t FormatId() const override { return fmtHEX; }
    bool IsValid(const char* data, size_t size, bool toBinary) const override;
    const wchar_t* ClassName() const override { return L"TStringFormat_HEX"; }
    // Digits, prefix markers, then the separators the validity check accepts.
    virtual const char* Alphabet() const;
};

class TStringFormat_HEXL : public TStringFormat_HEX {
public:
    std::wstring FormatName() const override;
    int32_t FormatId() const override { return fmtHEXL; }
    const wchar_t* ClassName() const override { return L"TStringFormat_HEXL"; }
    const char* Alphabet() const override;
};

class TStringFormat_MIME64 : public TStringFormat_HEX {
public:
    std::string ToBinary(const char* text, size_t size) const override;
    std::string FromBinary(const char* data, size_t size) const override;
    std::wstring FormatName() const override;
    int32_t FormatId() const override { return fmtMIME64; }
    const wchar_t* ClassName() const override { return L"TStringFormat_MIME64"; }
    const char* Alphabet() const override;
};

class TStringFormat_UU : public TStringFormat {
public:
    std::string ToBinary(const char* text, size_t size) const override;
    std::string FromBinary(const char* data, size_t size) const override;
    std::wstring FormatName() const override;
    int32_t FormatId() const override { return fmtUU; }
    bool IsValid(const char* data, size_t size, bool toBinary) const override;
    const wchar_t* ClassName() const override { return L"TStringFormat_UU"; }
    // The 64 code characters, then the separators.
    virtual const char* Alphabet() const;
};

class TStringFormat_XX : public TStringFormat_UU {
public:
    std::wstring FormatName() const override;
    int32_t FormatId() const override { return fmtXX; }
    const wchar_t* ClassName() const override { return L"TStringFormat_XX"; }
    const char* Alphabet() const override;
};

using TStringFormatClass = const TStringFormat*;

extern const TStringFormat StringFormat_COPY;
extern const TStringFormat_HEX StringFormat_HEX;
extern const TStringFormat_HEXL StringFormat_HEXL;
extern const TStringFormat_MIME64 StringFormat_MIME64;
extern const TStringFormat_UU StringFormat_UU;
extern const TStringFormat_XX StringFormat_XX;

// Adds each format, or replaces in place a registered one with the same identifier.
void RegisterStringFormats(std::initializer_list<TStringFormatClass> formats);
// Empties the registry.
void UnregisterStringFormats();
// The first registered format with that identifier (-1: the default), or nullptr.
TStringFormatClass StringFormat(int32_t formatId);
// The class name without everything up to and including its first "_".
std::wstring ShortClassName(TStringFormatClass format);

// Bytes as text of a format; empty for no bytes or identifier 0. A negative size means the data
// is zero-terminated. Raises EStringFormat for an unknown identifier or unfit input.
std::string BytesToFormat(const void* data, ptrdiff_t size, int32_t formatId);
// Text of a format as bytes; as above.
std::string FormatToBytes(const void* text, ptrdiff_t size, int32_t formatId);
inline std::string BytesToFormat(const std::string& data, int32_t formatId) {
    return BytesToFormat(data.data(), (ptrdiff_t)data.size(), formatId);
}
inline std::string FormatToBytes(const std::string& text, int32_t formatId) {
    return FormatToBytes(text.data(), (ptrdiff_t)text.size(), formatId);
}

// ---- Protection ----------------------------------------------------------------------------------

// Actions of the protection framework; other values are passed along unchanged.
constexpr int32_t paEncode = 0;
constexpr int32_t paDecode = 1;
constexpr int32_t paCalc = 3;      // read only
constexpr int32_t paRandom = 4;

// A processing step that can be chained to another; each call is passed on along the chain.
// Objects are shared (held by std::shared_ptr); a chain holds its next object.
class TProtection : public std::enable_shared_from_this<TProtection> {
public:
    TProtection() = default;
    TProtection(const TProtection&) = delete;
    TProtection& operator=(const TProtection&) = delete;
    virtual ~TProtection() = default;

    const std::shared_ptr<TProtection>& NextProtection() const { return FNext; }
    // Raises EProtection when the new object's chain leads back to this object.
    void SetNextProtection(std::shared_ptr<TProtection> next);

    virtual void StartAction(int32_t action);
    virtual void FinishAction(int32_t action);
    virtual void ApplyToBuffer(void* buffer, int32_t size, int32_t action);
    // Processes size bytes (negative: the whole source from position 0) in 4096-byte blocks; no
    // dest: the source is also the destination.
    virtual void ApplyToStream(TStream* source, TStream* dest, int32_t action, int64_t size);
    virtual void ApplyToFile(const std::wstring& sourceName, const std::wstring& destName, int32_t action);
    virtual std::string ApplyToString(const std::string& text, int32_t action, int32_t formatId);
    virtual int32_t ApplyOnce(void* buffer, int32_t size, int32_t action);

    // The actions for which a cipher transforms data (bit n: action n); empty after construction.
    uint32_t Actions = 0;
    bool HasAction(int32_t action) const {
        return action >= 0 && action < 32 && (Actions & (1u << action)) != 0;
    }

private:
    std::shared_ptr<TProtection> FNext;
};

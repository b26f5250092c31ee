#include "ZFDecUtil.h"

#include <cstring>
#include <vector>

#include "Classes.h"
#include "ZFConst.h"

// ---- Small routines --------------------------------------------------------------------------

void SwapIntegerBuffer(const void* source, void* dest, size_t count) {
    const uint8_t* s = static_cast<const uint8_t*>(source);
    uint8_t* d = static_cast<uint8_t*>(dest);
    for (size_t i = 0; i < count; ++i, s += 4, d += 4) {
        uint32_t v;
        memcpy(&v, s, 4);
        v = SwapInteger(v);
        memcpy(d, &v, 4);
    }
}

void XORBuffers(const void* a, const void* b, size_t size, void* dest) {
    const uint8_t* pa = static_cast<const uint8_t*>(a);
    const uint8_t* pb = static_cast<const uint8_t*>(b);
    uint8_t* pd = static_cast<uint8_t*>(dest);
    for (size_t i = 0; i < size; ++i) pd[i] = pa[i] ^ pb[i];
}

bool CompareBuffers(const void* a, const void* b, size_t size) {
    return memcmp(a, b, size) == 0;
}

uint32_t RndXORBuffer(uint32_t seed, void* buffer, size_t size) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < size; ++i) {
        seed = ((seed & 0xFFFFFF00u) | ((seed ^ p[i]) & 0xFFu)) * 134775813u + 1u;
        p[i] = (uint8_t)(seed >> 24);
    }
    return seed;
}

void RandomSalt(uint8_t* buffer, size_t size) {
    // Rejecting 0xFF keeps the remaining 255 values equally likely.
    uint8_t pool[64];
    size_t left = 0, at = 0;
    for (size_t i = 0; i < size;) {
        if (at == left) {
            RandomBuffer(pool, sizeof pool);
            left = sizeof pool;
            at = 0;
        }
        const uint8_t b = pool[at++];
        if (b != 0xFF) buffer[i++] = b;
    }
    memset(pool, 0, sizeof pool);
}

static TProgressCallback ProgressCallback = nullptr;
static void* ProgressData = nullptr;

void SetProgressCallback(TProgressCallback callback, void* data) {
    ProgressCallback = callback;
    ProgressData = data;
}

void DoProgress(const void* sender, int64_t current, int64_t maximum) {
    if (ProgressCallback) ProgressCallback(ProgressData, sender, current, maximum);
}

// ---- String formats -------------------------------------------------------------------------------

const TStringFormat StringFormat_COPY;
const TStringFormat_HEX StringFormat_HEX;
const TStringFormat_HEXL StringFormat_HEXL;
const TStringFormat_MIME64 StringFormat_MIME64;
const TStringFormat_UU StringFormat_UU;
const TStringFormat_XX StringFormat_XX;

namespace {

// Position of c among the first `count` characters of the alphabet, or -1.
int IndexIn(const char* alphabet, size_t count, char c) {
    const void* p = memchr(alphabet, c, count);
    return p ? (int)(static_cast<const char*>(p) - alphabet) : -1;
}

bool AllIn(const char* alphabet, const char* data, size_t size) {
    const size_t n = strlen(alphabet);
    for (size_t i = 0; i < size; ++i)
        if (IndexIn(alphabet, n, data[i]) < 0) return false;
    return true;
}

// Three bytes (n of them present, the rest taken as zero bits) as four code characters; with pad,
// the characters of missing bytes become "=".
void EncodeGroup(std::string& out, const char* alphabet, const char* p, size_t n, bool pad) {
    const uint32_t v = (uint32_t)(uint8_t)p[0] << 16 | (n > 1 ? (uint32_t)(uint8_t)p[1] << 8 : 0) |
                       (n > 2 ? (uint8_t)p[2] : 0);
    out += alphabet[v >> 18];
    out += alphabet[(v >> 12) & 63];
    out += pad && n < 2 ? '=' : alphabet[(v >> 6) & 63];
    out += pad && n < 3 ? '=' : alphabet[v & 63];
}

[[noreturn]] void RaiseInvalid(const TStringFormat& format) {
    throw EStringFormat(Format(SInvalidStringFormat, format.FormatName()));
}

}  // namespace

std::string TStringFormat::ToBinary(const char* text, size_t size) const {
    return std::string(text, size);
}

std::string TStringFormat::FromBinary(const char* data, size_t size) const {
    return std::string(data, size);
}

std::wstring TStringFormat::FormatName() const {
    return wcscmp(ClassName(), L"TStringFormat") == 0 ? std::wstring(SFMT_COPY) : ShortClassName(this);
}

bool TStringFormat::IsValid(const char*, size_t, bool) const {
    return true;
}

// Hexadecimal: 16 digits, the markers "X" and "$", then separators.
const char* TStringFormat_HEX::Alphabet() const {
    return "0123456789ABCDEFX$ abcdefhHx()[]{},;:-_/\\*+\"'\t\n\r";
}

const char* TStringFormat_HEXL::Alphabet() const {
    return "0123456789abcdefX$ ABCDEFhHx()[]{},;:-_/\\*+\"'\t\n\r";
}

std::wstring TStringFormat_HEX::FormatName() const { return SFMT_HEX; }
std::wstring TStringFormat_HEXL::FormatName() const { return SFMT_HEXL; }

std::string TStringFormat_HEX::FromBinary(const char* data, size_t size) const {
    const char* digits = Alphabet();
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = (uint8_t)data[i];
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string TStringFormat_HEX::ToBinary(const char* text, size_t size) const {
    static const char Digits[] = "0123456789ABCDEFX$";
    std::string out;
    bool markerSeen = false, half = false;
    uint8_t high = 0;
    for (size_t i = 0; i < size; ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
        const int v = IndexIn(Digits, 18, c);
        if (v < 0) continue;
        if (v >= 16) {
            // The first prefix marker drops what came before it ("0x", "$").
            if (!markerSeen) {
                out.clear();
                half = false;
                markerSeen = true;
            }
            continue;
        }
        if (half) out += (char)(high << 4 | v);
        else high = (uint8_t)v;
        half = !half;
    }
    return out;
}

bool TStringFormat_HEX::IsValid(const char* data, size_t size, bool toBinary) const {
    return !toBinary || AllIn(Alphabet(), data, size);
}

// MIME base 64: 64 code characters, the pad "=", then separators.
const char* TStringFormat_MIME64::Alphabet() const {
    return "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/= $()[]{},;:-_\\*\"'\t\n\r";
}

std::wstring TStringFormat_MIME64::FormatName() const { return SFMT_MIME64; }

std::string TStringFormat_MIME64::FromBinary(const char* data, size_t size) const {
    const char* a = Alphabet();
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    for (size_t i = 0; i < size; i += 3) EncodeGroup(out, a, data + i, size - i < 3 ? size - i : 3, true);
    return out;
}

std::string TStringFormat_MIME64::ToBinary(const char* text, size_t size) const {
    // Separators are left out before the length is worked out, so that text with line breaks or
    // blanks decodes to exactly its bytes.
    const char* a = Alphabet();
    std::string code;
    code.reserve(size + 3);
    for (size_t i = 0; i < size; ++i)
        if (IndexIn(a, 65, text[i]) >= 0) code += text[i];
    while (code.size() % 4) code += '=';
    std::string out;
    out.reserve(code.size() / 4 * 3);
    size_t pads = 0;
    for (size_t i = 0; i < code.size(); i += 4) {
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) {
            int d = IndexIn(a, 65, code[i + k]);
            if (d == 64) {
                ++pads;
                d = 0;
            }
            v = v << 6 | (uint32_t)d;
        }
        out += (char)(v >> 16);
        out += (char)(v >> 8);
        out += (char)v;
    }
    out.resize(out.size() > pads ? out.size() - pads : 0);
    return out;
}

// UU: the grave accent, then "!" to "_"; then separators.
const char* TStringFormat_UU::Alphabet() const {
    return "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_ \t\n\r";
}

const char* TStringFormat_XX::Alphabet() const {
    return "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz \"()[]'\t\n\r";
}

std::wstring TStringFormat_UU::FormatName() const { return SFMT_UU; }
std::wstring TStringFormat_XX::FormatName() const { return SFMT_XX; }

std::string TStringFormat_UU::FromBinary(const char* data, size_t size) const {
    const char* a = Alphabet();
    std::string out;
    for (size_t line = 0; line < size; line += 45) {
        const size_t count = size - line < 45 ? size - line : 45;
        out += a[count];
        for (size_t i = 0; i < count; i += 3)
            EncodeGroup(out, a, data + line + i, count - i < 3 ? count - i : 3, false);
    }
    return out;
}

std::string TStringFormat_UU::ToBinary(const char* text, size_t size) const {
    const char* a = Alphabet();
    std::string out;
    size_t pos = 0;
    while (pos < size) {
        int count = IndexIn(a, 64, text[pos++]);
        if (count < 0 || count > 45) RaiseInvalid(*this);
        while (count > 0) {
            uint32_t v = 0;
            for (int k = 0; k < 4;) {
                if (pos >= size) RaiseInvalid(*this);
                const int d = IndexIn(a, 64, text[pos++]);
                if (d < 0) continue;
                v = v << 6 | (uint32_t)d;
                ++k;
            }
            const char bytes[3] = {(char)(v >> 16), (char)(v >> 8), (char)v};
            out.append(bytes, count < 3 ? (size_t)count : 3u);
            count -= 3;
        }
    }
    return out;
}

bool TStringFormat_UU::IsValid(const char* data, size_t size, bool toBinary) const {
    if (!toBinary) return true;
    const char* a = Alphabet();
    if (!AllIn(a, data, size)) return false;
    size_t pos = 0;
    while (pos < size) {
        const int count = IndexIn(a, 64, data[pos++]);
        if (count < 0 || count > 45) return false;
        // Every started group of three bytes takes four code characters.
        int need = (count + 2) / 3 * 4;
        while (need > 0) {
            if (pos >= size) return false;
            if (IndexIn(a, 64, data[pos++]) >= 0) --need;
        }
    }
    return true;
}

// ---- Format registry -------------------------------------------------------------------------------

static std::vector<TStringFormatClass>& Formats() {
    static std::vector<TStringFormatClass> list;
    return list;
}

void RegisterStringFormats(std::initializer_list<TStringFormatClass> formats) {
    std::vector<TStringFormatClass>& list = Formats();
    for (TStringFormatClass f : formats) {
        if (!f || f->FormatId() == -1) continue;
        bool replaced = false;
        for (TStringFormatClass& r : list)
            if (r->FormatId() == f->FormatId()) {
                r = f;
                replaced = true;
                break;
            }
        if (!replaced) list.push_back(f);
    }
}

void UnregisterStringFormats() {
    Formats().clear();
}

TStringFormatClass StringFormat(int32_t formatId) {
    if (formatId == -1) formatId = fmtDEFAULT;
    for (TStringFormatClass f : Formats())
        if (f->FormatId() == formatId) return f;
    return nullptr;
}

std::wstring ShortClassName(TStringFormatClass format) {
    const std::wstring name = format->ClassName();
    const size_t p = name.find(L'_');
    return p == std::wstring::npos ? name : name.substr(p + 1);
}

namespace {

// The checks common to both conversions: the size, the identifier and the format's validity test.
TStringFormatClass ConvertingFormat(const void* data, ptrdiff_t& size, int32_t formatId,
                                    bool toBinary) {
    if (!data || formatId == 0) return nullptr;
    if (size < 0) size = (ptrdiff_t)strlen(static_cast<const char*>(data));
    if (size == 0) return nullptr;
    TStringFormatClass f = StringFormat(formatId);
    if (!f) throw EStringFormat(Format(SStringFormatExists, formatId));
    if (!f->IsValid(static_cast<const char*>(data), (size_t)size, toBinary))
        throw EStringFormat(Format(toBinary ? SInvalidStringFormat : SInvalidFormatString, f->FormatName()));
    return f;
}

}  // namespace

std::string BytesToFormat(const void* data, ptrdiff_t size, int32_t formatId) {
    TStringFormatClass f = ConvertingFormat(data, size, formatId, false);
    return f ? f->FromBinary(static_cast<const char*>(data), (size_t)size) : std::string();
}

std::string FormatToBytes(const void* text, ptrdiff_t size, int32_t formatId) {
    TStringFormatClass f = ConvertingFormat(text, size, formatId, true);
    return f ? f->ToBinary(static_cast<const char*>(text), (size_t)size) : std::string();
}

// ---- Protection ----------------------------------------------------------------------------------

void TProtection::SetNextProtection(std::shared_ptr<TProtection> next) {
    for (const TProtection* p = next.get(); p; p = p->FNext.get())
        if (p == this) throw EProtection(SProtectionCircular);
    FNext = std::move(next);
}

void TProtection::StartAction(int32_t action) {
    if (FNext) FNext->StartAction(action);
}

void TProtection::FinishAction(int32_t action) {
    if (FNext) FNext->FinishAction(action);
}

void TProtection::ApplyToBuffer(void* buffer, int32_t size, int32_t action) {
    if (FNext) FNext->ApplyToBuffer(buffer, size, action);
}

int32_t TProtection::ApplyOnce(void* buffer, int32_t size, int32_t action) {
    StartAction(action);
    try {
        ApplyToBuffer(buffer, size, action);
    } catch (...) {
        FinishAction(action);
        throw;
    }
    FinishAction(action);
    return size;
}

void TProtection::ApplyToStream(TStream* source, TStream* dest, int32_t action, int64_t size) {
    if (!source) return;
    if (!dest) dest = source;
    if (size < 0) {
        source->SetPosition(0);
        size = source->GetSize();
    }
    StartAction(action);
    try {
        DoProgress(this, 0, size);
        uint8_t buffer[4096];
        int64_t sourcePos = source->GetPosition(), destPos = dest->GetPosition(), done = 0;
        while (done < size) {
            const int32_t n = size - done < (int64_t)sizeof buffer ? (int32_t)(size - done) : (int32_t)sizeof buffer;
            if (action == paCalc) {
                source->ReadBuffer(buffer, n);
                ApplyToBuffer(buffer, n, action);
            } else {
                source->SetPosition(sourcePos);
                source->ReadBuffer(buffer, n);
                ApplyToBuffer(buffer, n, action);
                dest->SetPosition(destPos);
                dest->WriteBuffer(buffer, n);
                sourcePos += n;
                destPos += n;
            }
            done += n;
            DoProgress(this, done, size);
        }
    } catch (...) {
        DoProgress(this, 0, 0);
        FinishAction(action);
        throw;
    }
    DoProgress(this, 0, 0);
    FinishAction(action);
}

static bool IsBlank(const std::wstring& s) {
    for (wchar_t c : s)
        if (c > L' ') return false;
    return true;
}

void TProtection::ApplyToFile(const std::wstring& sourceName, const std::wstring& destName, int32_t action) {
    const bool separate = sourceName != destName && !IsBlank(destName);
    if (separate || action == paCalc) {
        TFileStream source(sourceName, fmOpenRead | fmShareDenyNone);
        if (action == paCalc) {
            ApplyToStream(&source, &source, action, source.GetSize());
            return;
        }
        TFileStream dest(destName, fmCreate);
        ApplyToStream(&source, &dest, action, source.GetSize());
        dest.SetSize(dest.GetPosition());
    } else {
        TFileStream source(sourceName, fmOpenReadWrite);
        ApplyToStream(&source, &source, action, source.GetSize());
    }
}

std::string TProtection::ApplyToString(const std::string& text, int32_t action, int32_t formatId) {
    const std::string bytes = action == paDecode ? FormatToBytes(text, formatId) : text;
    TMemoryStream stream;
    if (!bytes.empty()) stream.WriteBuffer(bytes.data(), (int32_t)bytes.size());
    ApplyToStream(&stream, &stream, action, -1);
    std::string result((size_t)stream.GetSize(), '\0');
    if (!result.empty()) memcpy(&result[0], stream.GetMemory(), result.size());
    return action == paDecode ? result : BytesToFormat(result, formatId);
}

// Names and masks of ZFStrFunc: the wildcard matcher against its rule computed another way, the mask test of
// searches, the path helpers, and stored names written and read back.
//
// Input: a control byte (bit 0: ignore case; bits 1-2: what to run), then the mask and the name,
// separated by the first zero byte. Each byte is one UTF-16 unit: ASCII as itself, the others
// from a table of units that case mapping, code pages and UTF-16 make special.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "ZFConst.h"
#include "ZFStrFunc.h"

namespace {

const wchar_t Specials[] = {
    0x00C4, 0x00E4, 0x0130, 0x0131, 0x017F, 0x212A, 0x212B, 0x00DF, 0x1E9E, 0x03A3, 0x03C2,
    0x5199, 0x771F, 0xFF76, 0x2015, 0x2014, 0xFF5E, 0x301C, 0x00A5, 0x0080, 0xF8F0, 0xE000,
    0x30FB, 0xFFFD, 0xFEFF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0x00A0, 0x3000, 0xFF0A,
};

std::wstring Units(const std::string& bytes) {
    std::wstring s;
    for (char c : bytes) {
        const uint8_t b = (uint8_t)c;
        s += b < 0x80 ? (wchar_t)b : Specials[(b - 0x80) % (sizeof Specials / sizeof Specials[0])];
    }
    return s;
}

// The matcher's rule, computed bottom-up: the rest of the mask exactly "*" matches; at the name's
// end only the mask's end matches; "*" tries the rest of the mask at every position from the
// current one up to the last character (so a "*" before other mask characters never takes the
// name to its end); "?" takes any one unit; other units must be equal.
bool ReferenceMatch(const std::wstring& name, const std::wstring& mask, bool ignoreCase) {
    if (mask == L"*.*") return true;
    const std::wstring n = ignoreCase ? ZFLowerCase(name) : name;
    const std::wstring m = ignoreCase ? ZFLowerCase(mask) : mask;
    const size_t nl = n.size(), ml = m.size();
    // next[i]: name[i..] matches the mask from position j + 1 on; after[i]: so does one of
    // name[i..], name[i + 1..] ... short of the empty rest.
    std::vector<char> current(nl + 1), next(nl + 1), after(nl + 1);
    for (size_t i = 0; i <= nl; ++i) next[i] = i == nl;
    for (size_t j = ml; j-- > 0;) {
        after[nl] = 0;
        for (size_t i = nl; i-- > 0;) after[i] = next[i] || after[i + 1];
        for (size_t i = 0; i <= nl; ++i) {
            if (j + 1 == ml && m[j] == L'*') current[i] = 1;
            else if (i == nl) current[i] = 0;
            else if (m[j] == L'*') current[i] = after[i];
            else current[i] = (m[j] == L'?' || m[j] == n[i]) && next[i + 1];
        }
        current.swap(next);
    }
    return next[0] != 0;
}

bool HasLoneSurrogate(const std::wstring& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const wchar_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
        else if (c >= 0xD800 && c <= 0xDFFF) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZFEngineStartup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const uint8_t control = in.U8();
    const std::string rest = in.Rest();
    const size_t zero = rest.find('\0');
    const std::wstring mask = Units(rest.substr(0, zero));
    const std::wstring name = Units(zero == std::string::npos ? std::string() : rest.substr(zero + 1));
    const bool ignoreCase = control & 1;

    switch ((control >> 1) & 3) {
    case 0:
        if (WildcardMatch(name, mask, ignoreCase) != ReferenceMatch(name, mask, ignoreCase))
            FuzzFinding("WildcardMatch differs from the rule computed bottom-up");
        break;
    case 1:
        MaskMatches(name, mask);
        ZFStringReplace(name, mask, L"\\/", ignoreCase);
        break;
    case 2:
        ZFExtractFileName(name);
        ZFExtractFilePath(name);
        ZFExtractFileExt(name);
        ZFExtractFileDrive(name);
        ZFExtractRelativePath(mask, name);
        IsFloppyPath(name);
        break;
    case 3: {
        // A name written as stored bytes reads back the same.
        bool utf8 = false;
        const std::string stored = ZFEncodeName(name, utf8);
        if (!HasLoneSurrogate(name) && ZFDecodeName(stored) != name)
            FuzzFinding("a stored name does not read back as written");
        // Stored bytes of any kind decode and convert between the OEM and ANSI code pages.
        ZFDecodeName(rest);
        ZFOemToAnsi(rest);
        ZFAnsiToOem(rest);
        break;
    }
    }
    return 0;
}

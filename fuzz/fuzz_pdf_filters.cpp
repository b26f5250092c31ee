// The PDF and PostScript filter encoders on any input: run-length and ASCII base-85 output stays
// within the destination sizes their callers allocate, and decodes back to the input.
//
// Input: the bytes to encode.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzInput.h"
#include "iecoreutils_pdf.h"

namespace {

// RunLengthDecode: a length byte n, then n + 1 literal bytes (n < 128) or one byte repeated
// 257 - n times (n > 128); 128 ends the data.
bool RunLengthDecode(const uint8_t* P, size_t Size, std::string& Out) {
    size_t i = 0;
    while (i < Size) {
        const uint8_t n = P[i++];
        if (n == 128) return i == Size;
        if (n < 128) {
            if (Size - i < static_cast<size_t>(n) + 1) return false;
            Out.append(reinterpret_cast<const char*>(P + i), static_cast<size_t>(n) + 1);
            i += static_cast<size_t>(n) + 1;
        } else {
            if (i >= Size) return false;
            Out.append(static_cast<size_t>(257 - n), static_cast<char>(P[i++]));
        }
    }
    return false;
}

// ASCII85Decode: "z" for four zeros, groups of five digits, a short last group, "~>" at the end;
// line ends are skipped.
bool Ascii85Decode(const std::string& In, std::string& Out) {
    uint32_t digits[5];
    int32_t n = 0;
    for (size_t i = 0; i < In.size(); ++i) {
        const char c = In[i];
        if (c == '\r' || c == '\n') continue;
        if (c == '~') {
            if (In.compare(i, 4, "~>\r\n") != 0 || i + 4 != In.size() || n == 1) return false;
            if (n > 0) {
                for (int32_t k = n; k < 5; ++k) digits[k] = 84;
                uint64_t v = 0;
                for (int32_t k = 0; k < 5; ++k) v = v * 85 + digits[k];
                for (int32_t k = 0; k < n - 1; ++k) Out += static_cast<char>(v >> (24 - 8 * k));
            }
            return true;
        }
        if (c == 'z' && n == 0) {
            Out.append(4, '\0');
            continue;
        }
        if (c < '!' || c > 'u') return false;
        digits[n++] = static_cast<uint32_t>(c - '!');
        if (n == 5) {
            uint64_t v = 0;
            for (int32_t k = 0; k < 5; ++k) v = v * 85 + digits[k];
            if (v > 0xFFFFFFFFu) return false;
            for (int32_t k = 0; k < 4; ++k) Out += static_cast<char>(v >> (24 - 8 * k));
            n = 0;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int32_t n = static_cast<int32_t>(size);
    const std::string input(reinterpret_cast<const char*>(data), size);

    // Exact-size destinations, so that a write past the documented bound is caught.
    const size_t rleBound = 2 * size + 1;
    std::unique_ptr<uint8_t[]> rle(new uint8_t[rleBound]);
    const int32_t rleLen = IERunLengthEncode(data, n, rle.get());
    if (rleLen < 1 || static_cast<size_t>(rleLen) > rleBound) FuzzFinding("run-length size out of bounds");
    std::string back;
    if (!RunLengthDecode(rle.get(), static_cast<size_t>(rleLen), back) || back != input)
        FuzzFinding("run-length data does not decode to the input");

    const size_t a85Bound = static_cast<size_t>(IEAscii85EncodedBound(n));
    std::unique_ptr<char[]> a85(new char[a85Bound]);
    int32_t written = 0;
    const int32_t a85Len = IEAscii85Encode(data, n, a85.get(), written);
    if (a85Len < 4 || static_cast<size_t>(a85Len) > a85Bound || written > a85Len)
        FuzzFinding("base-85 size out of bounds");
    const std::string text(a85.get(), static_cast<size_t>(a85Len));
    for (size_t i = 0, line = 0; i < text.size(); ++i) {
        if (text[i] == '\n') line = 0;
        else if (++line > 80) FuzzFinding("base-85 line too long");
    }
    back.clear();
    if (!Ascii85Decode(text, back) || back != input) FuzzFinding("base-85 data does not decode to the input");
    return 0;
}

// The image core's parsers and converters of outside text and numbers: integer and float texts,
// substrings, extensions and URL kinds, continued fractions of any double, and Base64 of any bytes.
//
// Input: a control byte choosing the line length of the Base64 run, eight bytes of a double and two
// 32-bit integers for the fraction and substring arguments, then the text.
#include <cmath>
#include <cstring>
#include <string>

#include "Classes.h"
#include "FuzzInput.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const uint8_t control = in.U8();
    uint64_t bits = static_cast<uint64_t>(in.U32()) | static_cast<uint64_t>(in.U32()) << 32;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    const int32_t a = static_cast<int32_t>(in.U32()), b = static_cast<int32_t>(in.U32());
    const std::string text = in.Rest();

    // The fraction is a 32-bit pair with a positive denominator, close to the value when it fits.
    int32_t num = 0, den = 0;
    IEFloatToFraction(num, den, value, std::fabs(static_cast<double>(a)) / 4294967296.0);
    if (den <= 0) FuzzFinding("fraction with a denominator below 1");
    if (std::isfinite(value) && std::fabs(value) > 1e-6 && std::fabs(value) < 1e6 && std::fabs(a) < 4 &&
        std::fabs(static_cast<double>(num) / den - value) > 1e-3 * std::fabs(value) + 1e-6)
        FuzzFinding("fraction far from the value");

    // The float parser never fails to give a result; a text it wrote itself reads back.
    const long double parsed = IEStrToFloatDef(text, 7.0L);
    (void)parsed;
    if (std::isfinite(value)) {
        std::string dot;
        IEFloatToStrDotA(dot, value);
        const long double back = IEStrToFloatDef(dot, NAN);
        if (!(std::fabs(back - value) <= std::fabs(value) * 1e-14L)) FuzzFinding("dot text does not read back");
    }

    (void)IEStrToIntDefA(text, 0);
    std::string res;
    IECopyA(text, a, b, res);
    if (res.size() > text.size()) FuzzFinding("substring longer than the text");
    (void)IEPosA(res, text);
    IETrimA(text, res);
    IEExtractFileExtA(text, (control & 1) != 0, res);
    (void)IEGetURLTypeA(text);

    // Base64: the encoded length follows from the input's and the line length.
    TReadOnlyMemoryStream source(text.data(), static_cast<int64_t>(text.size()));
    TMemoryStream out;
    const int32_t lineLength = control >> 1;
    IEBase64EncodeStream(source, out, lineLength);
    const size_t groups = (text.size() + 2) / 3;
    const size_t perLine = lineLength / 4 > 0 ? static_cast<size_t>(lineLength / 4) : 1;
    const size_t lines = (groups + perLine - 1) / perLine;
    if (static_cast<size_t>(out.GetSize()) != groups * 4 + lines * 2) FuzzFinding("Base64 length");
    return 0;
}

#include "iecoreutils_colour.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <exception>

#include "Classes.h"
#include "iecoreutils_general.h"

namespace {

long double Linearise(long double c) { return c <= 0.04045L ? c / 12.92L : std::pow((c + 0.055L) / 1.055L, 2.4L); }

long double LabF(long double t) { return t > 0.008856L ? std::cbrt(t) : 7.787L * t + 16.0L / 116.0L; }

long double LabInverse(long double f) {
    const long double cube = f * f * f;
    return cube > 0.008856L ? cube : (f - 16.0L / 116.0L) / 7.787L;
}

uint8_t CompandToByte(long double v) {
    v = v <= 0.0031308L ? 12.92L * v : 1.055L * std::pow(v, 0.41666666667L) - 0.055L;
    const long double scaled = v * 255;
    if (!(scaled > -1e9L && scaled < 1e9L)) return scaled > 0 ? 255 : 0;
    return static_cast<uint8_t>(IEClampByte(static_cast<int32_t>(std::nearbyint(scaled))));
}

// The low byte of Trunc(v), as the pixel stores it.
uint8_t LowByte(long double v) { return static_cast<uint8_t>(static_cast<int32_t>(v)); }

}   // namespace

uint32_t IERGBToCIELab(uint32_t RGB) {
    const long double r = Linearise((RGB >> 16 & 0xFF) / 255.0L);
    const long double g = Linearise((RGB >> 8 & 0xFF) / 255.0L);
    const long double b = Linearise((RGB & 0xFF) / 255.0L);
    const long double x = (0.412453L * r + 0.35758L * g + 0.180423L * b) / 0.95047L;
    const long double y = 0.212671L * r + 0.71516L * g + 0.072169L * b;
    const long double z = (0.019334L * r + 0.119193L * g + 0.950227L * b) / 1.08883L;
    const long double fy = LabF(y);
    const long double l = y > 0.008856L ? 116 * fy - 16 : 903.3L * y;
    const long double a = 500 * (LabF(x) - fy);
    const long double bb = 200 * (fy - LabF(z));
    return static_cast<uint32_t>(LowByte(l * 2.55L)) | static_cast<uint32_t>(LowByte(a)) << 8 |
           static_cast<uint32_t>(LowByte(bb)) << 16;
}

TIERGB IECIELabToRGB(uint32_t Lab) {
    const long double l = (Lab & 0xFF) * 0.39215686275L;
    const long double a = static_cast<int8_t>(Lab >> 8 & 0xFF);
    const long double b = static_cast<int8_t>(Lab >> 16 & 0xFF);
    const long double fy = (l + 16) / 116;
    const long double fx = fy + a / 500;
    const long double fz = fy - b / 200;
    const long double y = LabInverse(fy);
    const long double x = LabInverse(fx) * 0.95047L;
    const long double z = LabInverse(fz) * 1.08883L;
    TIERGB rgb;
    rgb.r = CompandToByte(3.2406L * x - 1.5372L * y - 0.4986L * z);
    rgb.g = CompandToByte(-0.9689L * x + 1.8758L * y + 0.0415L * z);
    rgb.b = CompandToByte(0.0557L * x - 0.204L * y + 1.057L * z);
    return rgb;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text-to-float conversion with the given decimal separator.
bool TryTextToFloat(const std::string& S, char Separator, long double& Value) {
    size_t i = 0, end = S.size();
    while (i < end && S[i] == ' ') ++i;
    while (end > i && S[end - 1] == ' ') --end;
    std::string c;   // the number in the C library's syntax
    if (i < end && (S[i] == '+' || S[i] == '-')) c += S[i++];
    bool digits = false;
    while (i < end && IsDigit(S[i])) c += S[i++], digits = true;
    if (i < end && S[i] == Separator) {
        c += '.';
        ++i;
        while (i < end && IsDigit(S[i])) c += S[i++], digits = true;
    }
    if (!digits) return false;
    if (i < end && (S[i] == 'e' || S[i] == 'E')) {
        c += 'e';
        ++i;
        if (i < end && (S[i] == '+' || S[i] == '-')) c += S[i++];
        if (i >= end || !IsDigit(S[i])) return false;
        while (i < end && IsDigit(S[i])) c += S[i++];
    }
    if (i != end) return false;
    errno = 0;
    const long double v = std::strtold(c.c_str(), nullptr);
    if (errno == ERANGE && std::isinf(v)) return false;
    Value = v;
    return true;
}

}   // namespace

long double IEStrToFloatDef(const std::string& S, long double Default, char DecimalSeparator) {
    long double v;
    if (TryTextToFloat(S, DecimalSeparator, v)) return v;
    std::string other = S;
    const size_t comma = other.find(',');
    if (comma != std::string::npos) {
        other[comma] = '.';
    } else {
        const size_t dot = other.find('.');
        if (dot != std::string::npos) other[dot] = ',';
    }
    return TryTextToFloat(other, DecimalSeparator, v) ? v : Default;
}

void IEStreamWriteChecked(TStream& Stream, bool& Aborting, const void* Buffer, int32_t Count) {
    try {
        if (Stream.Write(Buffer, Count) < Count) Aborting = true;
    } catch (const std::exception&) {
        Aborting = true;
    }
}

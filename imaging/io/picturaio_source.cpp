// Export of the current image as source text, for embedding an image in a program: the encoded
// file as a Pascal byte-array constant, a hexadecimal list or Base64 lines, or the bitmap itself
// as a character picture.
#include "picturaio.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "SysUtils.h"
#include "iecoredefs_types.h"
#include "iecoreutils_streams.h"
#include "iecoreutils_text.h"

namespace {

// Lines of the text file end with CR LF, as text files on Windows do.
void WriteLine(TStream& F, const std::string& Line) {
    const std::string text = Line + "\r\n";
    F.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

std::string HexByte(const char* Prefix, uint8_t Value) {
    char text[8];
    std::snprintf(text, sizeof text, "%s%02X", Prefix, Value);
    return text;
}

// Every byte but the last as Prefix, two digits and ","; a line is written (after Indent) as soon
// as it grows past 70 characters. The last line ends with the last byte and Tail.
void WriteByteList(TStream& F, const std::vector<uint8_t>& Data, const char* Prefix, const std::string& Indent,
                   const std::string& Tail) {
    std::string line;
    for (size_t i = 0; i + 1 < Data.size(); ++i) {
        line += HexByte(Prefix, Data[i]) + ",";
        if (line.size() > 70) {
            WriteLine(F, Indent + line);
            line.clear();
        }
    }
    // An empty image (a save that wrote nothing) has no last byte: the list just closes.
    if (!Data.empty()) line += HexByte(Prefix, Data.back());
    WriteLine(F, Indent + line + Tail);
}

}  // namespace

void TPicturaIO::SaveToSourceFile(const std::wstring& FileName, TIOFileType FileType, uint8_t Kind) {
    std::string ident, sizeIdent;
    std::vector<uint8_t> data;
    TMemoryStream encoded;
    if (Kind <= 2) {
        ident = WideToAnsi(FileName);
        const size_t dot = ident.find('.');
        if (dot != std::string::npos) ident[dot] = '_';
        sizeIdent = ident + "_Size";
        // The text needs the encoded bytes before this returns, so the encoding runs here even
        // when the component would hand a save to a background thread (which would write into
        // this stack stream after it is gone).
        struct TAsyncOff {
            bool& Mode;
            const bool Saved;
            ~TAsyncOff() { Mode = Saved; }
        } asyncOff{AsyncMode, std::exchange(AsyncMode, false)};
        SaveToStream(&encoded, FileType);
        encoded.SetPosition(0);
        data.resize(static_cast<size_t>(encoded.GetSize()));
        if (!data.empty()) encoded.ReadBuffer(data.data(), static_cast<int32_t>(data.size()));
        encoded.SetPosition(0);
    }

    TIEWideFileStream file(FileName, 0xFFFF);
    const std::string size = std::to_string(data.size());
    switch (Kind) {
    case 0:
        WriteLine(file, "const");
        WriteLine(file, "  " + sizeIdent + " = " + size + ";");
        WriteLine(file, "  " + ident + " : array [0.." + sizeIdent + "-1] of byte = (");
        WriteByteList(file, data, "$", "    ", ");");
        break;
    case 1:
        WriteLine(file, "\\\\ Size=" + size);
        WriteByteList(file, data, "0x", "", "");
        break;
    case 2:
        IEBase64EncodeStream(encoded, file, 76);
        break;
    case 3:
        if (MakeConsistentBitmap(IEPixelFormatBit(ie24RGB))) {
            static const char Shades[] = "W@#*+:.,  ";
            const int32_t width = IOBitmap->GetWidth(), height = IOBitmap->GetHeight();
            std::string line;
            for (int32_t y = 0; y < height; ++y) {
                line.clear();
                const TIERGB* row = reinterpret_cast<const TIERGB*>(IOBitmap->GetScanline(y));
                for (int32_t x = 0; x < width; ++x) {
                    const double grey = (row[x].r * IEGrayRedWeight + row[x].g * IEGrayGreenWeight +
                                         row[x].b * IEGrayBlueWeight) /
                                        100.0;
                    int32_t shade = static_cast<int32_t>(grey / 255 * 9);
                    // Weights summing past 100 would point past the last shade.
                    if (shade < 0) shade = 0;
                    if (shade > 9) shade = 9;
                    line += Shades[shade];
                }
                WriteLine(file, line);
            }
        }
        break;
    default:
        break;
    }
    Params->FileName = FileName;
}

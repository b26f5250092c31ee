// Export of the image as source text: the byte-array constant, the hexadecimal list and the
// Base64 lines of the encoded image, and the character picture of the bitmap. The encoded bytes
// come from a component whose SaveToStream writes known bytes, so every line can be checked; one
// test goes through the real encoders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iebitmap.h"
#include "picturaio.h"
#include "picturaview.h"
#include "support/TestSupport.h"

namespace {

// A component whose encoded image is Bytes, whatever the format.
class TFixedBytesIO : public TPicturaIO {
public:
    TFixedBytesIO() : TPicturaIO(nullptr) {}
    void SaveToStream(TStream* Stream, TIOFileType FileType) override {
        SavedAs = FileType;
        if (!Bytes.empty()) Stream->Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
    }
    std::string Bytes;
    TIOFileType SavedAs = 0;
};

std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < Text.size()) {
        const size_t end = Text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos) break;
        lines.push_back(Text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool EndsWith(const std::string& Text, const std::string& Tail) {
    return Text.size() >= Tail.size() && Text.compare(Text.size() - Tail.size(), Tail.size(), Tail) == 0;
}

// The identifier the export derives from a file name: the ANSI name with its first "." as "_".
std::string IdentOf(const std::wstring& Name) {
    std::string ident = WideToAnsi(Name);
    ident[ident.find('.')] = '_';
    return ident;
}

class SourceExport : public ::testing::Test {
protected:
    void SetUp() override { IEPicturaViewInitialize(); }
    testsupport::TScratchDir Dir{L"KWSource_"};
};

}  // namespace

TEST_F(SourceExport, ByteArrayConstantOfThreeBytes) {
    TFixedBytesIO io;
    io.Bytes = std::string("\x01\xAB\xFF", 3);
    const std::wstring name = Dir / L"logo.bmp";
    io.SaveToSourceFile(name, ioBMP, 0);
    EXPECT_EQ(io.SavedAs, ioBMP);
    const std::string ident = IdentOf(name);
    // The folder part stays in the identifier; only the first "." changes.
    EXPECT_TRUE(EndsWith(ident, "\\logo_bmp")) << ident;
    const std::vector<std::string> lines = Lines(testsupport::ReadFileBytes(name));
    const std::vector<std::string> expected = {
        "const",
        "  " + ident + "_Size = 3;",
        "  " + ident + " : array [0.." + ident + "_Size-1] of byte = (",
        "    $01,$AB,$FF);",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(io.GetParams()->FileName, name);
}

TEST_F(SourceExport, LongListsBreakAfterSeventyCharacters) {
    TFixedBytesIO io;
    for (int i = 0; i < 40; ++i) io.Bytes += static_cast<char>(i);
    const std::wstring name = Dir / L"a.b.c";
    io.SaveToSourceFile(name, ioPNG, 0);
    std::vector<std::string> lines = Lines(testsupport::ReadFileBytes(name));
    ASSERT_EQ(lines.size(), 3u + 3u);
    EXPECT_TRUE(EndsWith(lines[1], "\\a_b.c_Size = 40;")) << lines[1];
    // "$XX," is 4 characters: a line goes out at 72 (18 values), the last holds the 40th alone.
    EXPECT_EQ(lines[3], "    $00,$01,$02,$03,$04,$05,$06,$07,$08,$09,$0A,$0B,$0C,$0D,$0E,$0F,$10,$11,");
    EXPECT_EQ(lines[4].substr(0, 8), "    $12,");
    EXPECT_EQ(lines[4].size(), 4u + 72u);
    EXPECT_EQ(lines[5], "    $24,$25,$26,$27);");

    io.SaveToSourceFile(name, ioPNG, 1);
    lines = Lines(testsupport::ReadFileBytes(name));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "\\\\ Size=40");
    // "0xXX," is 5 characters: a line goes out at 75 (15 values), not indented.
    EXPECT_EQ(lines[1].substr(0, 10), "0x00,0x01,");
    EXPECT_EQ(lines[1].size(), 75u);
    EXPECT_EQ(lines[2].substr(0, 5), "0x0F,");
    EXPECT_EQ(lines[3], "0x1E,0x1F,0x20,0x21,0x22,0x23,0x24,0x25,0x26,0x27");
}

TEST_F(SourceExport, Base64InLinesOfSeventySixCharacters) {
    TFixedBytesIO io;
    io.Bytes = std::string(60, 'M') + "an";
    const std::wstring name = Dir / L"b64.txt";
    io.SaveToSourceFile(name, ioJPEG, 2);
    const std::vector<std::string> lines = Lines(testsupport::ReadFileBytes(name));
    ASSERT_EQ(lines.size(), 2u);
    std::string full;
    for (int i = 0; i < 19; ++i) full += "TU1N";   // 57 bytes "MMM..."
    EXPECT_EQ(lines[0], full);
    EXPECT_EQ(lines[1], "TU1NYW4=");
}

TEST_F(SourceExport, EmptyEncodingStillWritesAClosedList) {
    TFixedBytesIO io;   // a save that failed writes nothing
    const std::wstring name = Dir / L"empty.gif";
    io.SaveToSourceFile(name, ioGIF, 0);
    const std::vector<std::string> lines = Lines(testsupport::ReadFileBytes(name));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(EndsWith(lines[1], "empty_gif_Size = 0;")) << lines[1];
    EXPECT_EQ(lines[3], "    );");
}

TEST_F(SourceExport, CharacterPictureOfTheBitmap) {
    TPicturaIO io(nullptr);
    TIEBitmap& b = *io.GetIEBitmap();
    ASSERT_TRUE(b.Allocate(5, 2, ie24RGB));
    const uint8_t greys[2][5] = {{0, 30, 128, 200, 255}, {255, 255, 0, 0, 255}};
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 5; ++x) b.SetPixelRGB(x, y, TIERGB{greys[y][x], greys[y][x], greys[y][x]});
    const std::wstring name = Dir / L"pic.txt";
    io.SaveToSourceFile(name, ioBMP, 3);
    EXPECT_EQ(testsupport::ReadFileBytes(name), "W@+, \r\n  WW \r\n");
    EXPECT_EQ(io.GetParams()->FileName, name);

    // Only a 24-bit bitmap is drawn; the file is still made, empty.
    ASSERT_TRUE(b.Allocate(5, 2, ie8g));
    io.SaveToSourceFile(name, ioBMP, 3);
    EXPECT_EQ(testsupport::ReadFileBytes(name), "");
}

TEST_F(SourceExport, ThroughTheRealEncoder) {
    TPicturaIO io(nullptr);
    ASSERT_TRUE(io.GetIEBitmap()->Allocate(4, 3, ie24RGB));
    io.GetIEBitmap()->Fill(0x336699);
    const std::wstring name = Dir / L"real.bmp";
    TMemoryStream encoded;
    io.SaveToStream(&encoded, ioBMP);
    ASSERT_GT(encoded.GetSize(), 0);
    io.SaveToSourceFile(name, ioBMP, 1);
    const std::vector<std::string> lines = Lines(testsupport::ReadFileBytes(name));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "\\\\ Size=" + std::to_string(encoded.GetSize()));
    EXPECT_EQ(lines[1].substr(0, 10), "0x42,0x4D,");   // "BM"
}

// The DICOM reader on data sets built here: the three native syntaxes with and without preamble,
// deflate, the tag list, window/rescale/stretch and MONOCHROME1, frames of native and RLE data,
// lossless JPEG with every predictor, and the inputs that must fail cleanly. Pixels of the files
// pydicom ships, against pydicom, are in tests/native/codecs_j2k_dicom_tools_test.cpp.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "CodecTestUtil.h"
#include "iebitmap.h"
#include "iecoreutils_dicomtags.h"
#include "iedicom.h"

using namespace codectest;

namespace {

const char* const kImplicit = "1.2.840.10008.1.2";
const char* const kExplicit = "1.2.840.10008.1.2.1";
const char* const kBig = "1.2.840.10008.1.2.2";
const char* const kDeflate = "1.2.840.10008.1.2.1.99";
const char* const kRLE = "1.2.840.10008.1.2.5";
const char* const kLossless = "1.2.840.10008.1.2.4.70";

// A data set written element by element in one transfer syntax.
struct TDataSet {
    bool Explicit = true;
    bool Big = false;
    std::string Bytes;

    std::string U16(uint16_t v) const {
        return Big ? std::string{(char)(v >> 8), (char)v} : std::string{(char)v, (char)(v >> 8)};
    }
    std::string U32(uint32_t v) const { return Big ? U16((uint16_t)(v >> 16)) + U16((uint16_t)v) : U16((uint16_t)v) + U16((uint16_t)(v >> 16)); }
    void Add(uint16_t G, uint16_t E, const char* VR, std::string V, bool Undefined = false) {
        if (V.size() % 2) V += VR[0] == 'U' && VR[1] == 'I' ? '\0' : ' ';
        Bytes += U16(G) + U16(E);
        const uint32_t len = Undefined ? 0xFFFFFFFFu : (uint32_t)V.size();
        const std::string vr = VR;
        if (Explicit) {
            Bytes += vr;
            if (vr == "OB" || vr == "OW" || vr == "SQ" || vr == "UN" || vr == "UT")
                Bytes += std::string(2, '\0') + U32(len);
            else
                Bytes += U16((uint16_t)len);
        } else {
            Bytes += U32(len);
        }
        Bytes += V;
    }
    void Image(int32_t Rows, int32_t Cols, int32_t Bits, int32_t Samples, const char* Photo, int32_t Frames = 1) {
        Add(0x0028, 0x0002, "US", U16((uint16_t)Samples));
        Add(0x0028, 0x0004, "CS", Photo);
        if (Frames != 1) Add(0x0028, 0x0008, "IS", std::to_string(Frames));
        Add(0x0028, 0x0010, "US", U16((uint16_t)Rows));
        Add(0x0028, 0x0011, "US", U16((uint16_t)Cols));
        Add(0x0028, 0x0100, "US", U16((uint16_t)(Bits > 8 ? 16 : 8)));
        Add(0x0028, 0x0101, "US", U16((uint16_t)Bits));
    }
};

// Preamble, "DICM" and the meta group naming the syntax, then the data set.
std::string File(const std::string& TS, const std::string& DataSet) {
    TDataSet meta;
    meta.Add(0x0002, 0x0010, "UI", TS);
    return std::string(128, '\0') + "DICM" + meta.Bytes + DataSet;
}

std::string Samples16(const std::vector<uint16_t>& V, bool Big) {
    std::string s;
    for (uint16_t v : V) s += Big ? std::string{(char)(v >> 8), (char)v} : std::string{(char)v, (char)(v >> 8)};
    return s;
}

bool Load(const std::string& Bytes, TIEBitmap& B, TCall& C, int32_t Index = 0) {
    TMemoryStream s;
    Fill(s, Bytes);
    C.Params.SetImageIndex(Index);
    IEReadDICOMStream(&s, C.Params, &B, C.Progress, false);
    return !C.Aborting;
}

std::vector<uint32_t> Grey(TIEBitmap& B) {
    std::vector<uint32_t> v;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x)
            v.push_back(B.GetPixelFormat() == ie16g ? B.GetPixelWord(x, y) : B.GetPixelByte(x, y));
    return v;
}

// The stretch of values over 0..Top (the reader's last pass).
std::vector<uint32_t> Stretch(const std::vector<double>& V, double Top) {
    double lo = V[0], hi = V[0];
    for (double v : V) lo = std::min(lo, v), hi = std::max(hi, v);
    std::vector<uint32_t> out;
    for (double v : V) out.push_back((uint32_t)std::trunc((v - lo) / (hi - lo) * Top));
    return out;
}

// PackBits of Bytes as literal runs of up to 128 bytes.
std::string PackBits(const std::string& Bytes) {
    std::string out;
    for (size_t i = 0; i < Bytes.size(); i += 128) {
        const size_t n = std::min<size_t>(128, Bytes.size() - i);
        out += (char)(n - 1);
        out += Bytes.substr(i, n);
    }
    return out;
}

// One RLE frame of the given segments.
std::string RLEFrame(const std::vector<std::string>& Segments) {
    std::string header(64, '\0'), body;
    TDataSet le;
    header.replace(0, 4, le.U32((uint32_t)Segments.size()));
    for (size_t i = 0; i < Segments.size(); ++i) {
        header.replace(4 + 4 * i, 4, le.U32((uint32_t)(64 + body.size())));
        body += PackBits(Segments[i]);
        if (body.size() % 2) body += '\0';
    }
    return header + body;
}

// Encapsulated pixel data: an empty offset table, one item per fragment, the delimiter.
std::string Encapsulated(const std::vector<std::string>& Fragments) {
    TDataSet le;
    const std::string item("\xFE\xFF\x00\xE0", 4);
    std::string v = item + le.U32(0);
    for (std::string f : Fragments) {
        if (f.size() % 2) f += '\0';
        v += item + le.U32((uint32_t)f.size()) + f;
    }
    return v + "\xFE\xFF\xDD\xE0" + le.U32(0);
}

void AddEncapsulated(TDataSet& D, const std::string& Value) {
    D.Bytes += D.U16(0x7FE0) + D.U16(0x0010) + "OB" + std::string(2, '\0') + D.U32(0xFFFFFFFFu) + Value;
}

// A lossless JPEG (SOF3) of one component with predictor Ps: every category coded in 5 bits.
class TLosslessWriter {
public:
    std::string Encode(const std::vector<uint16_t>& S, int32_t W, int32_t H, int32_t P, int32_t Ps) {
        std::string j = "\xFF\xD8";
        j += Segment(0xC3, {(char)P, (char)(H >> 8), (char)H, (char)(W >> 8), (char)W, 1, 1, 0x11, 0});
        std::string dht = {0x00};
        for (int32_t l = 1; l <= 16; ++l) dht += (char)(l == 5 ? 17 : 0);
        for (int32_t s = 0; s <= 16; ++s) dht += (char)s;
        j += Segment(0xC4, dht);
        j += Segment(0xDA, {1, 1, 0x00, (char)Ps, 0, 0});
        auto at = [&](int32_t x, int32_t y) { return (int32_t)S[(size_t)y * W + x]; };
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                int32_t pred;
                if (x == 0 && y == 0)
                    pred = 1 << (P - 1);
                else if (y == 0)
                    pred = at(x - 1, 0);
                else if (x == 0)
                    pred = at(0, y - 1);
                else {
                    const int32_t a = at(x - 1, y), b = at(x, y - 1), c = at(x - 1, y - 1);
                    const int32_t preds[] = {0, a, b, c, a + b - c, a + ((b - c) >> 1), b + ((a - c) >> 1), (a + b) >> 1};
                    pred = preds[Ps];
                }
                int32_t d = (at(x, y) - pred) % 65536;
                if (d >= 32768) d -= 65536;
                if (d < -32767) d += 65536;
                if (d == -32768 || d == 32768) {
                    Put(16, 5);
                    continue;
                }
                int32_t s = 0;
                while ((1 << s) <= std::abs(d)) ++s;
                Put(s, 5);
                if (s) Put(d < 0 ? d - 1 : d, s);
            }
        while (FBits) Put(1, 1);
        return j + FData + "\xFF\xD9";
    }

private:
    static std::string Segment(uint8_t M, const std::string& Body) {
        const size_t n = Body.size() + 2;
        return std::string{(char)0xFF, (char)M, (char)(n >> 8), (char)n} + Body;
    }
    void Put(int32_t V, int32_t N) {
        for (int32_t i = N - 1; i >= 0; --i) {
            FAcc = (uint8_t)(FAcc << 1 | ((V >> i) & 1));
            if (++FBits == 8) {
                FData += (char)FAcc;
                if (FAcc == 0xFF) FData += '\0';
                FBits = 0;
                FAcc = 0;
            }
        }
    }
    std::string FData;
    uint8_t FAcc = 0;
    int32_t FBits = 0;
};

}  // namespace

TEST(DICOM, ProbeLooksAtOffset128AndRestoresThePosition) {
    TMemoryStream s;
    Fill(s, "xx" + std::string(128, '\0') + "DICM");
    s.SetPosition(2);
    EXPECT_TRUE(IEIsDICOM(&s));
    EXPECT_EQ(s.GetPosition(), 2);
    s.SetPosition(3);
    EXPECT_FALSE(IEIsDICOM(&s));
    EXPECT_EQ(s.GetPosition(), 3);
}

TEST(DICOM, NativeSixteenBitsInEverySyntaxAndLayout) {
    const std::vector<uint16_t> v = {0, 100, 200, 300, 4095, 50};
    const std::vector<uint32_t> expected = Stretch({0, 100, 200, 300, 4095, 50}, 65535);
    struct Case {
        const char* TS;
        bool Explicit, Big, Preamble;
    } cases[] = {{kExplicit, true, false, true}, {kImplicit, false, false, true}, {kBig, true, true, true},
                 {kImplicit, false, false, false}};
    for (const Case& c : cases) {
        TDataSet d;
        d.Explicit = c.Explicit;
        d.Big = c.Big;
        d.Add(0x0010, 0x0010, "PN", "Doe^Jane");
        d.Image(2, 3, 12, 1, "MONOCHROME2");
        d.Add(0x7FE0, 0x0010, "OW", Samples16(v, c.Big));
        TCall call;
        TIEBitmap b;
        ASSERT_TRUE(Load(c.Preamble ? File(c.TS, d.Bytes) : d.Bytes, b, call)) << c.TS;
        EXPECT_EQ(b.GetPixelFormat(), ie16g);
        EXPECT_EQ(Grey(b), expected) << c.TS << " preamble " << c.Preamble;
        EXPECT_EQ(call.Params.Width, 3);
        EXPECT_EQ(call.Params.Height, 2);
        EXPECT_EQ(call.Params.BitsPerSample, 12);
        EXPECT_EQ(call.Params.SamplesPerPixel, 1);
        EXPECT_EQ(call.Params.ImageCount, 1);
        // The tag list: every element in file order, the value followed by a zero byte.
        const TIEDICOMTags& tags = *call.Params.DICOMTags;
        int32_t name = -1;
        for (int32_t i = 0; i < tags.GetCount(); ++i)
            if (tags.GetTag(i).Group == 0x0010 && tags.GetTag(i).Element == 0x0010) name = i;
        ASSERT_GE(name, 0);
        EXPECT_STREQ((const char*)tags.GetTag(name).Data.get(), "Doe^Jane");
        EXPECT_EQ(tags.GetTag(tags.GetCount() - 1).Element, 0x0101);   // parsing ends at the pixel data
    }
}

TEST(DICOM, ImplicitVRTagsTakeTheDictionaryRepresentation) {
    // Implicit-VR data carries no VR: each known tag gets the data dictionary's; a tag with several
    // representations, a masked overlay tag and an unknown one get none.
    struct TCase {
        uint16_t Group, Element;
        const char* VR;   // as written in the explicit twin; "" expected in the implicit file
        const char* Expected;
    } cases[] = {
        {0x0008, 0x1040, "LO", "LO"}, {0x0018, 0x1000, "LO", "LO"}, {0x0020, 0x4000, "LT", "LT"},
        {0x0040, 0x0254, "LO", "LO"}, {0x0018, 0x0050, "DS", "DS"}, {0x0028, 0x0106, "US", ""},
        {0x6000, 0x0010, "US", ""},   {0x0009, 0x1001, "LO", ""},
    };
    TDataSet d;
    d.Explicit = false;
    for (const TCase& c : cases) d.Add(c.Group, c.Element, c.VR, c.VR[0] == 'U' ? d.U16(7) : std::string("ab"));
    d.Image(2, 3, 12, 1, "MONOCHROME2");
    d.Add(0x7FE0, 0x0010, "OW", Samples16({0, 100, 200, 300, 4095, 50}, false));
    TCall call;
    TIEBitmap b;
    ASSERT_TRUE(Load(File(kImplicit, d.Bytes), b, call));
    const TIEDICOMTags& tags = *call.Params.DICOMTags;
    for (const TCase& c : cases) {
        int32_t found = -1;
        for (int32_t i = 0; i < tags.GetCount(); ++i)
            if (tags.GetTag(i).Group == c.Group && tags.GetTag(i).Element == c.Element) found = i;
        ASSERT_GE(found, 0) << std::hex << c.Group << "," << c.Element;
        EXPECT_EQ(std::string(tags.GetTag(found).VR, tags.GetTag(found).VR[0] ? 2 : 0), c.Expected)
            << std::hex << c.Group << "," << c.Element;
    }
}

TEST(DICOM, WindowRescaleStretchAndInversion) {
    const std::vector<uint16_t> raw = {0, 10, 20, 30, 40, 50};
    struct Case {
        const char* Center;
        const char* Width;
        const char* Photo;
        const char* Slope;
        const char* Intercept;
        std::vector<uint32_t> Expected;
    } cases[] = {
        // Centre 0: no window; the stretch alone.
        {"0", "10", "MONOCHROME2", nullptr, nullptr, Stretch({0, 10, 20, 30, 40, 50}, 65535)},
        // Width 1: a hard threshold at the centre.
        {"25.5\\40", "1", "MONOCHROME2", nullptr, nullptr, {0, 0, 0, 65535, 65535, 65535}},
        // The same, inverted afterwards.
        {"25.5", "1", "MONOCHROME1", nullptr, nullptr, {65535, 65535, 65535, 0, 0, 0}},
        // A rescale to negative values is lifted by one offset for every sample.
        {nullptr, nullptr, "MONOCHROME2", "-2", "10", Stretch({10, -10, -30, -50, -70, -90}, 65535)},
        // Rescale values that are no finite number keep the defaults (slope 1, intercept 0).
        {nullptr, nullptr, "MONOCHROME2", "NaN", "-inf", Stretch({0, 10, 20, 30, 40, 50}, 65535)},
        {nullptr, nullptr, "MONOCHROME2", "1e400", "1e400", Stretch({0, 10, 20, 30, 40, 50}, 65535)},
        {nullptr, nullptr, "MONOCHROME2", "-1e400", "nan", Stretch({0, 10, 20, 30, 40, 50}, 65535)},
        // A finite slope whose products leave the doubles' range: the stores saturate.
        {nullptr, nullptr, "MONOCHROME2", "1e307", nullptr, {0, 0, 0, 0, 0, 0}},
        // A window of no finite number is no window.
        {"NaN", "inf", "MONOCHROME2", nullptr, nullptr, Stretch({0, 10, 20, 30, 40, 50}, 65535)},
    };
    for (const Case& c : cases) {
        TDataSet d;
        d.Image(2, 3, 16, 1, c.Photo);
        if (c.Center) d.Add(0x0028, 0x1050, "DS", c.Center);
        if (c.Width) d.Add(0x0028, 0x1051, "DS", c.Width);
        if (c.Intercept) d.Add(0x0028, 0x1052, "DS", c.Intercept);
        if (c.Slope) d.Add(0x0028, 0x1053, "DS", c.Slope);
        d.Add(0x7FE0, 0x0010, "OW", Samples16(raw, false));
        TCall call;
        TIEBitmap b;
        ASSERT_TRUE(Load(File(kExplicit, d.Bytes), b, call));
        EXPECT_EQ(Grey(b), c.Expected) << (c.Center ? c.Center : "-") << " " << c.Photo;
    }
}

TEST(DICOM, NativeEightBitsIsOnlyInverted) {
    for (const char* photo : {"MONOCHROME2", "MONOCHROME1 "}) {
        TDataSet d;
        d.Image(1, 4, 6, 1, photo);
        d.Add(0x0028, 0x1050, "DS", "10");
        d.Add(0x0028, 0x1051, "DS", "4");
        d.Add(0x7FE0, 0x0010, "OB", std::string("\x00\x01\x20\x3F", 4));
        TCall call;
        TIEBitmap b;
        ASSERT_TRUE(Load(File(kExplicit, d.Bytes), b, call));
        ASSERT_EQ(b.GetPixelFormat(), ie8g);
        const std::vector<uint32_t> shifted = {0, 4, 128, 252};
        std::vector<uint32_t> expected = shifted;
        if (photo[10] == '1')
            for (uint32_t& v : expected) v = 255 - v;
        EXPECT_EQ(Grey(b), expected) << photo;
    }
}

TEST(DICOM, ColourPlanesAndPixels) {
    for (int32_t planar : {0, 1}) {
        TDataSet d;
        d.Image(1, 2, 8, 3, "RGB");
        d.Add(0x0028, 0x0006, "US", d.U16((uint16_t)planar));
        d.Add(0x7FE0, 0x0010, "OB", planar ? "\x01\x02\x03\x04\x05\x06" : "\x01\x03\x05\x02\x04\x06");
        TCall call;
        TIEBitmap b;
        ASSERT_TRUE(Load(File(kExplicit, d.Bytes), b, call));
        EXPECT_EQ(RGBBytes(b), "\x01\x03\x05\x02\x04\x06") << planar;
    }
}

TEST(DICOM, FramesOfNativeAndRLEData) {
    // Three frames of 2 x 2, 8 bits: frame k is white at pixel k only.
    std::string native;
    std::vector<std::string> rle;
    for (int32_t k = 0; k < 3; ++k) {
        std::string f;
        for (int32_t i = 0; i < 4; ++i) f += (char)(i == k ? 255 : 0);
        native += f;
        rle.push_back(RLEFrame({f}));
    }
    for (bool encapsulated : {false, true}) {
        TDataSet d;
        d.Image(2, 2, 8, 1, "MONOCHROME2", 3);
        if (encapsulated)
            AddEncapsulated(d, Encapsulated(rle));
        else
            d.Add(0x7FE0, 0x0010, "OB", native);
        const std::string file = File(encapsulated ? kRLE : kExplicit, d.Bytes);
        for (int32_t index : {0, 1, 2, 7}) {
            TCall call;
            TIEBitmap b;
            ASSERT_TRUE(Load(file, b, call, index)) << index;
            const int32_t k = std::min(index, 2);
            EXPECT_EQ(call.Params.ImageIndex, k);
            EXPECT_EQ(call.Params.ImageCount, 3);
            std::vector<uint32_t> expected(4, 0);
            expected[(size_t)k] = 255;
            EXPECT_EQ(Grey(b), expected) << index << " encapsulated " << encapsulated;
        }
    }
}

TEST(DICOM, RLESixteenBitsAndColour) {
    TDataSet d;
    d.Image(1, 3, 16, 1, "MONOCHROME2");
    AddEncapsulated(d, Encapsulated({RLEFrame({std::string("\x00\x01\x02", 3), std::string("\x05\x00\x00", 3)})}));
    TCall call;
    TIEBitmap b;
    ASSERT_TRUE(Load(File(kRLE, d.Bytes), b, call));
    EXPECT_EQ(Grey(b), Stretch({5, 256, 512}, 65535));

    TDataSet c;
    c.Image(1, 2, 8, 3, "RGB");
    AddEncapsulated(c, Encapsulated({RLEFrame({"\x01\x02", "\x03\x04", "\x05\x06"})}));
    TCall call2;
    TIEBitmap rgb;
    ASSERT_TRUE(Load(File(kRLE, c.Bytes), rgb, call2));
    EXPECT_EQ(RGBBytes(rgb), "\x01\x03\x05\x02\x04\x06");
}

TEST(DICOM, LosslessJPEGEveryPredictor) {
    const int32_t w = 7, h = 5;
    std::vector<uint16_t> s8, s16;
    for (int32_t i = 0; i < w * h; ++i) {
        s8.push_back((uint16_t)((i * 37 + (i % 3) * 90) % 256));
        s16.push_back((uint16_t)((i * 9973 + (i % 5) * 20000) % 65536));
    }
    s8[3] = 0;
    s8[4] = 255;
    for (int32_t ps = 1; ps <= 7; ++ps)
        for (int32_t bits : {8, 16}) {
            const std::vector<uint16_t>& src = bits == 8 ? s8 : s16;
            TDataSet d;
            d.Image(h, w, bits, 1, "MONOCHROME2");
            AddEncapsulated(d, Encapsulated({TLosslessWriter().Encode(src, w, h, bits, ps)}));
            TCall call;
            TIEBitmap b;
            ASSERT_TRUE(Load(File(kLossless, d.Bytes), b, call)) << ps << " " << bits;
            std::vector<double> v(src.begin(), src.end());
            EXPECT_EQ(Grey(b), Stretch(v, bits == 8 ? 255 : 65535)) << "predictor " << ps << " bits " << bits;
        }
}

TEST(DICOM, DeflatedDataSetsAreInflated) {
    TDataSet d;
    d.Image(1, 3, 8, 3, "RGB");
    d.Add(0x7FE0, 0x0010, "OB", std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9));
    std::string packed(d.Bytes.size() + 64, '\0');
    z_stream z;
    std::memset(&z, 0, sizeof z);
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = (Bytef*)d.Bytes.data();
    z.avail_in = (uInt)d.Bytes.size();
    z.next_out = (Bytef*)&packed[0];
    z.avail_out = (uInt)packed.size();
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    packed.resize(z.total_out);
    deflateEnd(&z);
    TCall call;
    TIEBitmap b;
    ASSERT_TRUE(Load(File(kDeflate, packed), b, call));
    EXPECT_EQ(RGBBytes(b), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9));
}

TEST(DICOM, BadDataFailsCleanly) {
    TDataSet ok;
    ok.Image(2, 2, 8, 1, "MONOCHROME2");
    TDataSet truncated = ok;
    truncated.Add(0x7FE0, 0x0010, "OB", "\x01\x02");   // 2 of 4 bytes
    TDataSet foreignItem = ok;
    AddEncapsulated(foreignItem, std::string("\xFE\xFF\x00\xE0\0\0\0\0\x12\x34\x56\x78\x04\0\0\0abcd", 20));
    TDataSet jpegLS = ok;
    AddEncapsulated(jpegLS, Encapsulated({"\xFF\xD8\xFF\xF7"}));
    TDataSet badLossless = ok;
    AddEncapsulated(badLossless, Encapsulated({std::string(40, '\x11')}));
    TDataSet paletteNoLUT;
    paletteNoLUT.Image(2, 2, 8, 1, "PALETTE COLOR");
    paletteNoLUT.Add(0x7FE0, 0x0010, "OB", "\x01\x02\x03\x04");
    struct Case {
        const char* Name;
        std::string File;
    } cases[] = {{"truncated", File(kExplicit, truncated.Bytes)},
                 {"foreign item", File(kRLE, foreignItem.Bytes)},
                 {"JPEG-LS", File("1.2.840.10008.1.2.4.80", jpegLS.Bytes)},
                 {"MPEG-2", File("1.2.840.10008.1.2.4.100", jpegLS.Bytes)},
                 {"bad lossless", File(kLossless, badLossless.Bytes)},
                 {"palette without tables", File(kExplicit, paletteNoLUT.Bytes)}};
    for (const Case& c : cases) {
        TCall call;
        TIEBitmap b;
        EXPECT_FALSE(Load(c.File, b, call)) << c.Name;
    }
    // Parameters only: nothing decoded, the attributes read.
    TDataSet full = ok;
    full.Add(0x7FE0, 0x0010, "OB", "\x01\x02\x03\x04");
    TCall call;
    TMemoryStream s;
    Fill(s, File(kExplicit, full.Bytes));
    IEReadDICOMStream(&s, call.Params, nullptr, call.Progress, false);
    EXPECT_FALSE(call.Aborting);
    EXPECT_EQ(call.Params.Width, 2);
}

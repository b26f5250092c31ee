// The JPEG 2000 glue against OpenJPEG's tools (files and code streams from opj_compress decoded
// to the pixels opj_decompress gives; ours decoded by opj_decompress) and the DICOM reader against
// pydicom's pixel data of the files pydicom ships. Skipped where the tools are absent.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "../imaging_codecs/CodecTestUtil.h"
#include "CodecToolsUtil.h"
#include "iedicom.h"
#include "iej2000.h"
#include "support/ToolSkip.h"

using namespace codectest;
using codectools::Shell;
using codectools::Slurp;
namespace fs = std::filesystem;

namespace {

void Save(const fs::path& File, const std::string& Bytes) {
    std::ofstream f(File, std::ios::binary);
    f.write(Bytes.data(), (std::streamsize)Bytes.size());
}

// The samples of a binary PNM (P5 or P6; 16-bit samples big-endian), as 8-bit values: the top 8
// bits of wider samples, narrower ones shifted up (as the glue shows them).
std::string PNMTo8(const std::string& P) {
    // The header: magic, width, height, maxval, with "#" comments between them.
    size_t at = 2;
    auto number = [&]() {
        for (;;) {
            while (at < P.size() && std::isspace((unsigned char)P[at])) ++at;
            if (at < P.size() && P[at] == '#') {
                while (at < P.size() && P[at] != '\n') ++at;
                continue;
            }
            break;
        }
        int v = 0;
        while (at < P.size() && std::isdigit((unsigned char)P[at])) v = v * 10 + (P[at++] - '0');
        return v;
    };
    const std::string magic = P.substr(0, 2);
    const int w = number(), h = number(), maxval = number();
    if (at >= P.size()) return {};
    const std::string data = P.substr(at + 1);
    int bits = 0;
    while ((1 << bits) <= maxval) ++bits;
    std::string out;
    const size_t n = (size_t)w * h * (magic == "P6" ? 3 : 1);
    for (size_t i = 0; i < n; ++i) {
        const int v = maxval > 255 ? ((uint8_t)data[2 * i] << 8 | (uint8_t)data[2 * i + 1]) : (uint8_t)data[i];
        const int e = bits >= 8 ? v >> (bits - 8) : v << (8 - bits);
        if (magic == "P6")
            out += (char)e;
        else
            out += std::string(3, (char)e);
    }
    return out;
}

std::string PGM(int W, int H, int MaxVal, const std::vector<int>& V) {
    std::string s = "P5\n" + std::to_string(W) + " " + std::to_string(H) + "\n" + std::to_string(MaxVal) + "\n";
    for (int v : V) {
        if (MaxVal > 255) s += (char)(v >> 8);
        s += (char)v;
    }
    return s;
}

class J2KTools : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v opj_compress >/dev/null && command -v opj_decompress >/dev/null && "
                        "command -v convert >/dev/null") != 0)
            KW_SKIP_UNLESS_CI() << "OpenJPEG's tools or ImageMagick are not installed";
        char tmpl[] = "/tmp/kw_j2k_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Dir = tmpl;
        ASSERT_FALSE(Shell(Dir, "convert -seed 3 -size 33x21 plasma: -depth 8 base.ppm && echo ok").empty());
        IEInitializeJ2000();
    }
    void TearDown() override {
        if (!Dir.empty()) fs::remove_all(Dir);
    }
    bool Ours(const std::string& File, TIEBitmap& B, TCall& C) {
        TMemoryStream s;
        Fill(s, Slurp(Dir / File));
        IEReadJ2000Stream(&s, &B, C.Params, C.Progress, false);
        return !C.Aborting;
    }
    // opj_decompress's pixels of File as 8-bit RGB.
    std::string Theirs(const std::string& File, const char* Ext) {
        const std::string out = std::string("ref.") + Ext;
        if (Shell(Dir, "opj_decompress -i " + File + " -o " + out + " >/dev/null && echo ok").empty()) return {};
        return PNMTo8(Slurp(Dir / out));
    }
    fs::path Dir;
};

}  // namespace

TEST_F(J2KTools, FilesAndCodeStreamsDecodeAsOpenJPEGsOwnTool) {
    struct Case {
        const char* Input;
        const char* Output;
        const char* Options;
        const char* Ext;
    } cases[] = {
        {"base.ppm", "a.jp2", "", "ppm"},
        {"base.ppm", "a.j2k", "", "ppm"},
        {"base.ppm", "lossy.j2k", "-r 30 -I", "ppm"},
        {"base.ppm", "rlcp.jp2", "-p RLCP", "ppm"},
        {"base.ppm", "offset.j2k", "-d 5,3", "ppm"},   // an image offset on the reference grid
        {"g12.pgm", "g12.j2k", "", "pgm"},             // 12-bit grey: the top 8 bits
        {"g4.pgm", "g4.jp2", "", "pgm"},               // 4-bit grey: shifted up
    };
    std::vector<int> v12, v4;
    for (int i = 0; i < 17 * 9; ++i) {
        v12.push_back((i * 97) % 4096);
        v4.push_back(i % 16);
    }
    Save(Dir / "g12.pgm", PGM(17, 9, 4095, v12));
    Save(Dir / "g4.pgm", PGM(17, 9, 15, v4));
    for (const Case& c : cases) {
        ASSERT_FALSE(Shell(Dir, std::string("opj_compress -n 3 -i ") + c.Input + " -o " + c.Output + " " + c.Options +
                                    " >/dev/null && echo ok")
                         .empty())
            << c.Output;
        TCall call;
        TIEBitmap b;
        ASSERT_TRUE(Ours(c.Output, b, call)) << c.Output;
        const std::string theirs = Theirs(c.Output, c.Ext);
        ASSERT_FALSE(theirs.empty()) << c.Output;
        EXPECT_EQ(RGBBytes(b), theirs) << c.Output;
    }
}

TEST_F(J2KTools, SignedAndSubsampledComponents) {
    // Raw 12-bit signed grey (big-endian words) and 8-bit three components with 2 x 2 chroma.
    std::string signedRaw, sub;
    std::vector<int> s;
    for (int i = 0; i < 8 * 4; ++i) {
        const int v = (i * 211) % 4096 - 2048;
        s.push_back(v);
        signedRaw += (char)((v >> 8) & 0xFF);
        signedRaw += (char)(v & 0xFF);
    }
    for (int i = 0; i < 8 * 6; ++i) sub += (char)(i * 5);            // component 0: 8 x 6
    for (int i = 0; i < 2 * 4 * 3; ++i) sub += (char)(200 - i * 3);  // components 1, 2: 4 x 3
    Save(Dir / "s.raw", signedRaw);
    Save(Dir / "sub.raw", sub);
    ASSERT_FALSE(Shell(Dir, "opj_compress -n 2 -i s.raw -o s.j2k -F 8,4,1,12,s >/dev/null && echo ok").empty());
    ASSERT_FALSE(Shell(Dir, "opj_compress -i sub.raw -o sub.j2k -F 8,6,3,8,u@1x1:2x2:2x2 -n 2 >/dev/null && echo ok").empty());
    TCall c1;
    TIEBitmap b1;
    ASSERT_TRUE(Ours("s.j2k", b1, c1));
    for (int i = 0; i < 8 * 4; ++i) EXPECT_EQ(b1.GetPixelRGB(i % 8, i / 8).r, (s[i] + 2048) >> 4) << i;
    TCall c2;
    TIEBitmap b2;
    ASSERT_TRUE(Ours("sub.j2k", b2, c2));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const TIERGB p = b2.GetPixelRGB(x, y);
            EXPECT_EQ(p.r, (uint8_t)sub[y * 8 + x]);
            EXPECT_EQ(p.g, (uint8_t)sub[48 + (y / 2) * 4 + x / 2]);
            EXPECT_EQ(p.b, (uint8_t)sub[60 + (y / 2) * 4 + x / 2]);
        }
}

TEST_F(J2KTools, OurFilesDecodeWithOpenJPEGsTool) {
    TMemoryStream in;
    Fill(in, Slurp(Dir / "base.ppm"));
    const std::string base = PNMTo8(Slurp(Dir / "base.ppm"));
    TIEBitmap b;
    b.Allocate(33, 21, ie24RGB);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 33; ++x) {
            const size_t i = (size_t)(y * 33 + x) * 3;
            b.SetPixelRGB(x, y, TIERGB{(uint8_t)base[i + 2], (uint8_t)base[i + 1], (uint8_t)base[i]});
        }
    for (int format : {0, 1}) {
        TCall w;
        TMemoryStream out;
        IEWriteJ2000Stream(&out, &b, w.Params, w.Progress, format);
        ASSERT_FALSE(w.Aborting);
        const std::string name = format == 0 ? "ours.jp2" : "ours.j2k";
        Save(Dir / name, Contents(out));
        EXPECT_EQ(Theirs(name, "ppm"), base) << name;
    }
}

namespace {

std::string PydicomData() {
    std::string d = Shell("/", "/usr/bin/python3 -c \"import os, pydicom; print(os.path.dirname(pydicom.__file__))\"");
    while (!d.empty() && (d.back() == '\n' || d.back() == '\r')) d.pop_back();
    return d.empty() ? d : d + "/data/test_files";
}

// Our pixels in the reference script's layout: RGB bytes, 16-bit little-endian samples or bytes.
std::string OurLayout(TIEBitmap& B) {
    if (B.GetPixelFormat() == ie24RGB) return RGBBytes(B);
    std::string out;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) {
            if (B.GetPixelFormat() == ie16g) {
                const uint16_t v = B.GetPixelWord(x, y);
                out += (char)(v & 0xFF);
                out += (char)(v >> 8);
            } else {
                out += (char)B.GetPixelByte(x, y);
            }
        }
    return out;
}

}  // namespace

TEST(DICOMPydicom, ShippedFilesDecodeToPydicomsPixels) {
    const std::string data = PydicomData();
    if (data.empty() || std::system("/usr/bin/python3 -c 'import numpy, pydicom' 2>/dev/null") != 0)
        KW_SKIP_UNLESS_CI() << "pydicom or numpy is not installed";
    const std::string script = std::string(TEST_DATA_DIR) + "/../native/dicom_reference.py";
    struct Case {
        const char* File;
        int Frame;
        int Tolerance;   // JPEG: another decoder's rounding
    } cases[] = {
        {"CT_small.dcm", 0, 0},           {"MR_small.dcm", 0, 0},        {"MR_small_bigendian.dcm", 0, 0},
        {"MR_small_implicit.dcm", 0, 0},  {"MR_small_expb.dcm", 0, 0},   {"MR_small_padded.dcm", 0, 0},
        {"MR_small_RLE.dcm", 0, 0},       {"image_dfl.dcm", 0, 0},       {"SC_rgb_rle.dcm", 0, 0},
        {"SC_rgb_rle_2frame.dcm", 1, 0},  {"SC_rgb_small_odd.dcm", 0, 0}, {"SC_rgb_dcmtk_+eb+cr.dcm", 0, 2},
        // JPEG 2000 grey: rescaled and windowed at the samples' own depth, signed ones included.
        {"MR_small_jp2klossless.dcm", 0, 0}, {"JPEG2000.dcm", 0, 0},
        // Uncompressed YBR: converted to RGB (another conversion's rounding); the YBR_FULL file is
        // made by pydicom from an RGB one.
        {"SC_ybr_full_422_uncompressed.dcm", 0, 2}, {"@SC_ybr_full.dcm", 0, 2},
    };
    const fs::path made = fs::temp_directory_path() / ("kw_dicom_" + std::to_string(getpid()));
    fs::create_directories(made);
    ASSERT_FALSE(Shell("/", "/usr/bin/python3 " + script + " --ybr-full " + data + "/SC_rgb_rle.dcm " +
                                (made / "SC_ybr_full.dcm").string() + " && echo ok")
                     .empty());
    struct TRemove {
        fs::path P;
        ~TRemove() { fs::remove_all(P); }
    } remove{made};
    for (const Case& c : cases) {
        const std::string path = c.File[0] == '@' ? (made / (c.File + 1)).string() : data + "/" + c.File;
        const std::string expected = Shell("/", "/usr/bin/python3 " + script + " " + path + " " + std::to_string(c.Frame));
        ASSERT_FALSE(expected.empty()) << c.File;
        TCall call;
        TIEBitmap b;
        TMemoryStream s;
        Fill(s, Slurp(path));
        call.Params.SetImageIndex(c.Frame);
        IEReadDICOMStream(&s, call.Params, &b, call.Progress, false);
        ASSERT_FALSE(call.Aborting) << c.File;
        const std::string ours = OurLayout(b);
        ASSERT_EQ(ours.size(), expected.size()) << c.File;
        int worst = 0;
        for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs((uint8_t)ours[i] - (uint8_t)expected[i]));
        EXPECT_LE(worst, c.Tolerance) << c.File;
    }
    // Files nothing here decodes, or cut short, fail cleanly; JPEG 2000 frames decode.
    struct Outcome {
        const char* File;
        bool Decodes;
    } outcomes[] = {{"MR_truncated.dcm", false}, {"MR_small_jpeg_ls_lossless.dcm", false},
                    {"MR_small_jp2klossless.dcm", true}, {"JPEG2000.dcm", true}};
    for (const Outcome& o : outcomes) {
        TCall call;
        TIEBitmap b;
        TMemoryStream s;
        Fill(s, Slurp(data + "/" + o.File));
        IEReadDICOMStream(&s, call.Params, &b, call.Progress, false);
        EXPECT_EQ(!call.Aborting, o.Decodes) << o.File;
        if (o.Decodes) EXPECT_EQ(b.GetWidth(), call.Params.Width) << o.File;
    }
}

// The PNM, WBMP and PCX codecs against tools no one here wrote: files made by netpbm and
// ImageMagick in their depths and forms are decoded to the pixels ImageMagick decodes, and the
// files we write are read back by those tools with our pixels. Skipped where the tools are absent.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../imaging_codecs/CodecTestUtil.h"
#include "CodecToolsUtil.h"
#include "bmpfilt_pnm.h"
#include "pcxfilter.h"
#include "support/ToolSkip.h"

using namespace codectest;
using namespace codectools;
namespace fs = std::filesystem;

namespace {

bool HaveTools() {
    return std::system("command -v convert >/dev/null && command -v ppmtopcx >/dev/null && "
                       "command -v pnmdepth >/dev/null && command -v wbmptopbm >/dev/null") == 0;
}

class CodecTools : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTools()) KW_SKIP_UNLESS_CI() << "ImageMagick or netpbm is not installed";
        char tmpl[] = "/tmp/kw_codecs_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Dir = tmpl;
        // A 17 x 11 picture with many colours, and its grey and two-colour forms.
        ASSERT_FALSE(Shell(Dir, "convert -seed 5 -size 17x11 plasma: -depth 8 base.ppm && echo ok").empty());
        ASSERT_FALSE(Shell(Dir, "ppmtopgm base.ppm > grey.pgm && pamthreshold grey.pgm | pamtopnm > bw.pbm && echo ok").empty());
    }
    void TearDown() override {
        if (!Dir.empty()) fs::remove_all(Dir);
    }
    // Our reading of a PNM file of the folder; false when it failed.
    bool LoadPNM(const std::string& File, TCall& C, TIEBitmap& B) {
        TMemoryStream in;
        Fill(in, Slurp(Dir / File));
        IEReadPNMStream(in, &B, C.Params, C.Progress, false);
        return !C.Aborting;
    }
    // ImageMagick's 8-bit RGB of a file.
    std::string ToolRGB(const std::string& File) { return Shell(Dir, "convert " + File + " -depth 8 rgb:-"); }
    fs::path Dir;
};

}  // namespace

TEST_F(CodecTools, PNMFilesOfEveryFormDecodeToTheToolsPixels) {
    struct {
        const char* make;   // shell command writing f.pnm
        int tolerance;      // ImageMagick rounds odd maxima, we truncate
        TIEPixelFormat format;
    } cases[] = {
        {"cp base.ppm f.pnm", 0, ie24RGB},
        {"pnmtoplainpnm base.ppm > f.pnm", 0, ie24RGB},
        {"pnmdepth 65535 base.ppm > f.pnm", 1, ie24RGB},
        {"pnmdepth 1000 base.ppm > f.pnm", 1, ie24RGB},
        {"pnmdepth 15 base.ppm > f.pnm", 1, ie24RGB},
        {"pnmdepth 100 base.ppm | pnmtoplainpnm > f.pnm", 1, ie24RGB},
        {"cp grey.pgm f.pnm", 0, ie24RGB},
        {"pnmtoplainpnm grey.pgm > f.pnm", 0, ie24RGB},
        {"pnmdepth 4095 grey.pgm > f.pnm", 1, ie24RGB},
        {"pnmdepth 7 grey.pgm > f.pnm", 1, ie24RGB},
        {"cp bw.pbm f.pnm", 0, ie1g},
        {"pnmtoplainpnm bw.pbm > f.pnm", 0, ie1g},
        {"convert base.ppm -compress none f.ppm && mv f.ppm f.pnm", 0, ie24RGB},
        {"convert base.ppm -depth 16 f.ppm && mv f.ppm f.pnm", 1, ie24RGB},
        {"convert base.ppm -colorspace gray -depth 16 f.pgm && mv f.pgm f.pnm", 1, ie24RGB},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(Shell(Dir, std::string(c.make) + " && echo ok").empty()) << c.make;
        TMemoryStream s;
        Fill(s, Slurp(Dir / "f.pnm"));
        EXPECT_TRUE(IEIsPNM(s)) << c.make;
        TCall call;
        TIEBitmap b;
        IEReadPNMStream(s, &b, call.Params, call.Progress, false);
        ASSERT_FALSE(call.Aborting) << c.make;
        EXPECT_EQ(b.GetPixelFormat(), c.format) << c.make;
        EXPECT_LE(MaxDiff(RGBBytes(b), ToolRGB("f.pnm")), c.tolerance) << c.make;
    }
}

TEST_F(CodecTools, PNMAndWBMPWeWriteReadBackByTheTools) {
    TCall load;
    TIEBitmap colour;
    ASSERT_TRUE(LoadPNM("base.ppm", load, colour));
    load.Params.PXMComments->Add(L"written by us");

    struct {
        int32_t bps, spp;
        const char* check;   // a netpbm command that must accept out.pnm
    } cases[] = {{8, 3, "pamfile out.pnm"}, {16, 3, "pamfile out.pnm"}, {8, 1, "pamfile out.pnm"}};
    for (const auto& c : cases) {
        load.Params.BitsPerSample = c.bps;
        load.Params.SamplesPerPixel = c.spp;
        TMemoryStream out;
        TCall save;
        IEWritePNMStream(out, &colour, load.Params, save.Progress);
        Save(Dir / "out.pnm", out);
        EXPECT_FALSE(Shell(Dir, c.check).empty()) << c.bps << " " << c.spp;
        const std::string tool = ToolRGB("out.pnm");
        if (c.spp == 3) {
            EXPECT_EQ(MaxDiff(tool, RGBBytes(colour)), 0) << c.bps;
        } else {
            out.SetPosition(0);
            TCall back;
            TIEBitmap grey;
            IEReadPNMStream(out, &grey, back.Params, back.Progress, false);
            EXPECT_EQ(MaxDiff(tool, RGBBytes(grey)), 0);
        }
    }

    // One bit: P4 and WBMP.
    TCall bwLoad;
    TIEBitmap bw;
    ASSERT_TRUE(LoadPNM("bw.pbm", bwLoad, bw));
    ASSERT_EQ(bw.GetPixelFormat(), ie1g);
    TMemoryStream p4, wbmp;
    TCall s1, s2;
    IEWritePNMStream(p4, &bw, bwLoad.Params, s1.Progress);
    IEWriteWBMPStream(wbmp, &bw, s2.Progress);
    Save(Dir / "out.pbm", p4);
    Save(Dir / "out.wbmp", wbmp);
    EXPECT_EQ(MaxDiff(ToolRGB("out.pbm"), RGBBytes(bw)), 0);
    const std::string fromWbmp = Shell(Dir, "wbmptopbm out.wbmp > w.pbm && convert w.pbm -depth 8 rgb:-");
    EXPECT_EQ(MaxDiff(fromWbmp, RGBBytes(bw)), 0);

    // A WBMP of netpbm's, wider than 127 pixels (sizes in two bytes), read back.
    ASSERT_FALSE(Shell(Dir, "pbmmake -g 200 100 > g.pbm && pbmtowbmp g.pbm > g.wbmp && echo ok").empty());
    TMemoryStream gw;
    Fill(gw, Slurp(Dir / "g.wbmp"));
    TCall gl;
    TIEBitmap g;
    IEReadWBMPStream(gw, &g, gl.Params, gl.Progress, false);
    ASSERT_FALSE(gl.Aborting);
    EXPECT_EQ(g.GetWidth(), 200);
    EXPECT_EQ(MaxDiff(RGBBytes(g), ToolRGB("g.pbm")), 0);
}

TEST_F(CodecTools, PCXFilesOfTheToolsDecodeToTheirPixels) {
    const char* makes[] = {
        "ppmtopcx -24bit base.ppm > f.pcx",
        "pnmquant 256 base.ppm | ppmtopcx -8bit > f.pcx",
        "pnmquant 16 base.ppm | ppmtopcx > f.pcx",            // four bit planes
        "pnmquant 16 base.ppm | ppmtopcx -packed > f.pcx",    // one plane of 4 bits
        "pnmquant 4 base.ppm | ppmtopcx -packed > f.pcx",     // 2 bits: not decoded, checked apart
        "ppmtopcx bw.pbm > f.pcx",
        "convert base.ppm f.pcx",
        "convert base.ppm -colors 200 -type palette f.pcx",
        "convert bw.pbm f.pcx",
    };
    for (const char* make : makes) {
        ASSERT_FALSE(Shell(Dir, std::string(make) + " && echo ok").empty()) << make;
        const std::string file = Slurp(Dir / "f.pcx");
        TMemoryStream s;
        Fill(s, file);
        TCall call;
        TIEBitmap b;
        IEReadPCXStream(s, &b, call.Params, (int32_t)file.size(), call.Progress, false);
        ASSERT_FALSE(call.Aborting) << make;
        if (file[3] == 2) continue;   // 2-bit packed pixels: size only
        const std::string mine = RGBBytes(b);
        EXPECT_EQ(MaxDiff(mine, Shell(Dir, "pcxtoppm f.pcx | convert ppm:- -depth 8 rgb:-")), 0) << make;
        // ImageMagick reads 1-bit files as black whatever their bits: it checks the rest only.
        if (file[3] != 1 || file[65] != 1) EXPECT_EQ(MaxDiff(mine, ToolRGB("f.pcx")), 0) << make;
    }
}

TEST_F(CodecTools, PCXWeWriteReadBackByTheTools) {
    TCall load;
    TIEBitmap colour;
    ASSERT_TRUE(LoadPNM("base.ppm", load, colour));
    struct {
        int32_t bps, spp;
        uint8_t compression;
    } cases[] = {{8, 3, 1}, {8, 3, 0}, {8, 1, 1}, {4, 1, 1}, {1, 1, 1}, {8, 1, 0}};
    for (const auto& c : cases) {
        TCall save;
        save.Params.BitsPerSample = c.bps;
        save.Params.SamplesPerPixel = c.spp;
        save.Params.PCXCompression = c.compression;
        TMemoryStream out;
        IEWritePCXStream(out, &colour, save.Params, save.Progress);
        ASSERT_FALSE(save.Aborting);
        Save(Dir / "out.pcx", out);
        out.SetPosition(0);
        TCall back;
        TIEBitmap ours;
        IEReadPCXStream(out, &ours, back.Params, (int32_t)out.GetSize(), back.Progress, false);
        const std::string mine = RGBBytes(ours);
        if (c.bps * c.spp == 24) EXPECT_EQ(mine, RGBBytes(colour));
        // pcxtoppm reads encoded lines only; ImageMagick reads 1-bit files as black.
        if (c.compression)
            EXPECT_EQ(MaxDiff(Shell(Dir, "pcxtoppm out.pcx | convert ppm:- -depth 8 rgb:-"), mine), 0)
                << c.bps << "x" << c.spp;
        if (c.bps != 1) EXPECT_EQ(MaxDiff(ToolRGB("out.pcx"), mine), 0) << c.bps << "x" << c.spp;
    }
}

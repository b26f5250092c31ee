// The imaging component's twin where there is none: WIC reported absent, nothing opens, and the
// HD Photo members fail cleanly (abort flag, no output, the finishing report, nothing raised);
// and the EXIF tags an HD Photo save adds keep a file of another tool intact.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "Classes.h"
#include "CodecToolsUtil.h"
#include "iebitmap.h"
#include "iewic.h"
#include "imaging/io/picturaio.h"
#include "picturaio_formats.h"
#include "picturaview.h"
#include "tiffilt_write.h"
#include "support/ToolSkip.h"

TEST(WICAbsent, NothingOpensAndEveryReadOrWriteAborts) {
    EXPECT_FALSE(IEWICAvailable());
    TMemoryStream s;
    const std::string hdp("II\xBC\x01\x08\0\0\0", 8);
    s.Write(hdp.data(), (int32_t)hdp.size());
    s.SetPosition(0);
    TIEWICReader reader;
    EXPECT_FALSE(reader.Open(&s, ioHDP));
    TIEBitmap b(3, 2, ie24RGB);
    bool aborting = false;
    reader.Read(0, &b, aborting, nullptr);
    EXPECT_TRUE(aborting);
    EXPECT_EQ(reader.FrameWidth(), 0);
    TIEWICWriter writer;
    EXPECT_FALSE(writer.Open(&s, ioPNG));
    EXPECT_FALSE(writer.WriteFrame(&b, nullptr));

    IEInitFileFormats();
    EXPECT_EQ(IEFileFormatGetInfo(ioHDP), nullptr);
    IEFreeFileFormats();
}

TEST(WICAbsent, HDPhotoMembersFailCleanly) {
    IEPicturaViewInitialize();
    TPicturaIO io(nullptr);
    io.GetIEBitmap()->Allocate(5, 4, ie24RGB);
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };

    TMemoryStream in;
    const std::string hdp("II\xBC\x01\x08\0\0\0", 8);
    in.Write(hdp.data(), (int32_t)hdp.size());
    in.SetPosition(0);
    io.LoadFromStreamHDP(&in);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.Params->FileType, ioHDP);
    EXPECT_EQ(finished, 1);

    TMemoryStream out;
    io.SaveToStreamHDP(&out);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(out.GetSize(), 0);
    EXPECT_EQ(finished, 2);

    // A finishing handler that raises reaches the caller; the program goes on.
    io.OnFinishWork = [](TObject*) { throw std::runtime_error("handler"); };
    EXPECT_THROW(io.SaveToStreamHDP(&out), std::runtime_error);
}

// The second half of an HD Photo save (the EXIF tags added to the file the encoder wrote) on a
// file made by libjxr's JxrEncApp: the file keeps decoding to the same pixels with JxrDecApp, and
// exiftool finds the tags.
TEST(WICAbsent, EXIFTagsAddedToAnHDPhotoFileKeepItsPixels) {
    if (std::system("command -v JxrEncApp >/dev/null && command -v JxrDecApp >/dev/null && command -v convert >/dev/null") != 0)
        KW_SKIP_UNLESS_CI() << "libjxr-tools or ImageMagick is not installed";
    char tmpl[] = "/tmp/kw_hdp_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::filesystem::path dir = tmpl;
    ASSERT_FALSE(codectools::Shell(dir, "convert -seed 3 -size 11x6 plasma: -depth 8 BMP3:base.bmp && "
                                        "JxrEncApp -i base.bmp -o base.wdp -q 1 >/dev/null && "
                                        "JxrDecApp -i base.wdp -o before.bmp >/dev/null && echo ok").empty());
    TMemoryStream s;
    const std::string original = codectools::Slurp(dir / "base.wdp");
    s.Write(original.data(), (int32_t)original.size());
    s.SetPosition(0);
    TIOParamsVals params(nullptr);
    params.HasEXIFData = true;
    params.EXIFMake = "Maker";
    params.EXIFModel = "Model 7";
    EXPECT_TRUE(IEInjectEXIFTags(&s, &s, L"", L"", 0, params));
    codectools::Save(dir / "tagged.wdp", s);
    EXPECT_FALSE(codectools::Shell(dir, "JxrDecApp -i tagged.wdp -o after.bmp >/dev/null && echo ok").empty());
    EXPECT_EQ(codectools::Slurp(dir / "after.bmp"), codectools::Slurp(dir / "before.bmp"));
    if (std::system("command -v exiftool >/dev/null") == 0)
        EXPECT_NE(codectools::Shell(dir, "exiftool -s -Make tagged.wdp").find("Maker"), std::string::npos);
    std::filesystem::remove_all(dir);
}

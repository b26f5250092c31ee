// Start-up and shut-down of the I/O front end, the plug-in release and the debug log.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "SysUtils.h"
#include "giflzw.h"
#include "iecoreutils_icc.h"
#include "imaging/codecs/iewic.h"
#include "picturaio.h"
#include "tiflzw.h"

TEST(PicturaIOStartup, StartUpSetsTheLibraryStateAndShutDownFreesIt) {
    IEQuantizerMode = 5;
    IEColorManagementEnabled = true;
    IEUseCMYKProfile = false;
    IEMetafileMaxSize = 1;
    IEColorConvertHook = nullptr;
    IEInitializePicturaIO();
    EXPECT_EQ(IEQuantizerMode, -1);
    EXPECT_EQ(IENeuQuantQuality, -1);
    EXPECT_FALSE(IEColorManagementEnabled);
    EXPECT_TRUE(IEUseCMYKProfile);
    EXPECT_FALSE(IEBufferedStreamRelative);
    EXPECT_EQ(IEMetafileMaxSize, 8000);
    EXPECT_EQ(IEColorConvertHook, &IEConvertColorRow);
    EXPECT_TRUE(IEDebugLogFileName.empty());
    EXPECT_TRUE(IEIOPlugins.empty());
    EXPECT_EQ(IEFileFormatGetInfo(ioTIFF)->Description, L"TIFF Bitmap");
    // The library's own LZW coders are installed, and a new parameter set copies them.
    EXPECT_EQ(IETIFFLZWDecompressor, &IETIFFLZWDecompress);
    EXPECT_EQ(IEGIFLZWCompressor, &IEGIFLZWCompress);
    TIOParamsVals params(nullptr);
    EXPECT_EQ(params.TIFFLZWDecompress, IETIFFLZWDecompressor);
    EXPECT_EQ(params.TIFFLZWCompress, IETIFFLZWCompressor);
    EXPECT_EQ(params.GIFLZWDecompress, IEGIFLZWDecompressor);
    EXPECT_EQ(params.GIFLZWCompress, IEGIFLZWCompressor);
    // The profile opens where the colour-management module exists (Wine has one); elsewhere the
    // CMYK conversions use the arithmetic, and the failed profile is not tried again.
    EXPECT_EQ(IEInitCMYKProfile(), IELoadMSCMS());
    EXPECT_EQ(IEInitCMYKProfile(), IELoadMSCMS());

    // A plug-in's row leaves the table with it.
    auto row = std::make_unique<TIEFileFormatInfo>();
    row->FileType = 90;
    row->BuiltIn = false;
    IEFileFormatAdd(std::move(row));
    IEIOPlugins.push_back({90, nullptr});
    IEFreeIOPlugins();
    EXPECT_TRUE(IEIOPlugins.empty());
    EXPECT_EQ(IEFileFormatGetInfo(90), nullptr);
    EXPECT_NE(IEFileFormatGetInfo(ioTIFF), nullptr);

    IEFinalizePicturaIO();
    EXPECT_TRUE(IEFileFormats.empty());
    // Start-up again, as the library's own start-up leaves it.
    IEInitializePicturaIO();
    EXPECT_EQ(IEFileFormats.size(), IEWICAvailable() ? 26u : 25u);   // HD Photo with the imaging component
}

TEST(PicturaIOStartup, DebugLog) {
    const std::string path = std::string(TEST_BUILD_DIR) + "/picturaio_debug.log";
    std::remove(path.c_str());
    IEDebugLogFileName.clear();
    IEDebugLog(L"nothing");   // no name: nothing written
    std::ifstream none(path);
    EXPECT_FALSE(none.good());

    IEDebugLogFileName = Utf8ToWide(path);
    IEDebugLog(L"first");
    IEDebugLog(L"second");
    IEDebugLogFileName.clear();
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::remove(path.c_str());
    // "yyyy/mm/dd h:mm:ss : message" lines.
    const size_t first = text.find(" : first\r\n");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_NE(text.find(" : second\r\n", first), std::string::npos);
    EXPECT_EQ(text[4], '/');
    EXPECT_EQ(text[10], ' ');
}

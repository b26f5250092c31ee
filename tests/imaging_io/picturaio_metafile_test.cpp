// Metafile import, the parts every build has: the size rules, and (natively, where there is no
// metafile support) the clean failure of the import.
#include <gtest/gtest.h>

#include "iebitmap.h"
#include "picturaio.h"
#include "picturaio_metafile.h"
#include "picturaview.h"

TEST(MetafileImportSize, RequestedSizesAspectRatioAndLimit) {
    struct Case {
        int32_t MetaW, MetaH, W, H, Max;
        bool Ok;
        int32_t OutW, OutH;
    };
    const Case cases[] = {
        {20000, 10000, -1, -1, 8000, true, 8000, 4000},   // own size, limited
        {10000, 20000, -1, -1, 8000, true, 4000, 8000},
        {1000, 500, 400, -1, 8000, true, 400, 200},        // width given, aspect kept
        {1000, 500, -1, 100, 8000, true, 200, 100},        // height given
        {1000, 500, 30, 70, 8000, true, 30, 70},           // both given
        {1000, 500, -1, -1, 8000, true, 1000, 500},
        {1000, 500, 9000, 9000, 8000, true, 8000, 8000},   // a square stays square
        {1000, 500, 20000, -1, 8000, true, 8000, 4000},
        {0, 500, -1, -1, 8000, false, 0, 0},               // an empty metafile
        {1000, -5, -1, -1, 8000, false, 0, 0},
        {1000, 500, 0, -1, 8000, false, 0, 0},             // a side asked to be 0
        {100000, 1, -1, -1, 8000, false, 0, 0},            // scaled down to nothing
        {1, 30000, -1, -1, 8000, false, 0, 0},
        {1, 30000, 2000000000, -1, 8000, false, 0, 0},     // 6e13 high, limited to nothing
        {3000, 1, -1, 2000000000, 8000, true, 8000, 2},    // no overflow on the way
    };
    for (const Case& c : cases) {
        int32_t w = 0, h = 0;
        EXPECT_EQ(IEMetafileImportSize(c.MetaW, c.MetaH, c.W, c.H, c.Max, w, h), c.Ok)
            << c.MetaW << "x" << c.MetaH << " asked " << c.W << "x" << c.H;
        if (!c.Ok) continue;
        EXPECT_EQ(w, c.OutW) << c.MetaW << "x" << c.MetaH << " asked " << c.W << "x" << c.H;
        EXPECT_EQ(h, c.OutH) << c.MetaW << "x" << c.MetaH << " asked " << c.W << "x" << c.H;
    }
}

#ifndef _WIN32
TEST(MetafileImport, FailsCleanlyWithoutMetafileSupport) {
    IEPicturaViewInitialize();
    TPicturaIO io(nullptr);
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    ASSERT_TRUE(io.GetIEBitmap()->Allocate(2, 2, ie24RGB));
    TMemoryStream stream;
    const uint8_t placeable[4] = {0xD7, 0xCD, 0xC6, 0x9A};
    stream.Write(placeable, 4);
    stream.SetPosition(0);
    io.ImportMetafileFromStream(&stream, -1, -1, true);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 2);
    io.Aborting = false;
    io.ParamsFromMetafileStream(&stream);
    EXPECT_TRUE(io.Aborting);
}
#endif

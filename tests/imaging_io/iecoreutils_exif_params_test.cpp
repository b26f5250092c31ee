// Copying the EXIF values between two parameter sets: plain values, the values whose setters keep
// the resolution, orientation and present-tag list in step, the maker note and the thumbnail. (With
// the parameter set's tests: the core's test program links the Wang annotations, whose class the
// parameter set still declares in reduced form.)
#include <gtest/gtest.h>

#include <string>

#include "ByteOrder.h"
#include "iebitmap.h"
#include "iecoreutils_exif_tiff.h"
#include "imaging/core/picturaio_params.h"

TEST(IECopyEXIF, CopiesValuesThroughTheSetters) {
    TIOParamsVals src(nullptr), dst(nullptr);
    src.HasEXIFData = true;
    src.EXIFMake = "Maker";
    src.EXIFUserComment = L"コメント";
    src.EXIFGPSLatitudeRef = "N";
    src.EXIFGPSLatitudeDegrees = 35;
    src.SetEXIFXResolution(300);
    src.SetEXIFYResolution(150);
    src.SetEXIFOrientation(6);
    src.SetEXIFExposureTime(0.008);
    src.SetEXIFSceneType(1);
    src.SetEXIFISOSpeedRatings(0, 400);
    src.SetEXIFWhitePoint(1, 0.329);
    // A maker note: one SHORT inline.
    std::string note("\x01\0\x01\0\x03\0\x01\0\0\0\x07\0\0\0\0\0\0\0\0\0", 18);
    TReadOnlyMemoryStream s(note.data(), (int64_t)note.size());
    src.EXIFMakerNote->LoadFromStream(&s, (int32_t)note.size(), true);
    ASSERT_EQ(src.EXIFMakerNote->GetEntryCount(), 1);
    src.EXIFThumbnail = std::make_unique<TIEBitmap>(4, 3, ie24RGB);

    dst.SetEXIFFlash(1);   // present in Dest only: gone after the copy
    dst.EXIFThumbnail = std::make_unique<TIEBitmap>(9, 9, ie24RGB);
    IECopyEXIF(&src, &dst, false);
    EXPECT_EQ(dst.EXIFThumbnail->GetWidth(), 9);   // not copied
    EXPECT_TRUE(dst.HasEXIFData);
    EXPECT_EQ(dst.EXIFMake, "Maker");
    EXPECT_EQ(dst.EXIFUserComment, L"コメント");
    EXPECT_EQ(dst.EXIFGPSLatitudeRef, "N");
    EXPECT_EQ(dst.EXIFGPSLatitudeDegrees, 35);
    EXPECT_EQ(dst.DpiX, 300);
    EXPECT_EQ(dst.DpiY, 150);
    EXPECT_EQ(dst.TIFFOrientation, 6);
    EXPECT_EQ(dst.EXIFExposureTime, 0.008);
    EXPECT_TRUE(dst.HasEXIFTag(33434));
    EXPECT_FALSE(dst.HasEXIFTag(37385));
    EXPECT_EQ(dst.EXIFTags, src.EXIFTags);
    EXPECT_EQ(dst.GetEXIFISOSpeedRatings(0), 400);
    EXPECT_EQ(dst.GetEXIFWhitePoint(1), 0.329);
    ASSERT_EQ(dst.EXIFMakerNote->GetEntryCount(), 1);
    EXPECT_EQ(dst.EXIFMakerNote->GetEntry(0).Value, 7u);

    IECopyEXIF(&src, &dst, true);
    ASSERT_TRUE(dst.EXIFThumbnail);
    EXPECT_EQ(dst.EXIFThumbnail->GetWidth(), 4);
    EXPECT_NE(dst.EXIFThumbnail.get(), src.EXIFThumbnail.get());
    src.EXIFThumbnail.reset();
    IECopyEXIF(&src, &dst, true);
    EXPECT_FALSE(dst.EXIFThumbnail);
}

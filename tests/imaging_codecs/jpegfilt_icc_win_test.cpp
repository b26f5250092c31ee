// The JPEG reader with colour management on, through the system's colour-management module: the
// embedded profile is applied to the rows as they are read, and with DropAppliedICC the applied
// profile's APP2 markers leave the marker list (a save must not embed it again).
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "iecoreutils_icc.h"
#include "imaging_codecs/JpegTestUtil.h"
#include "picturaio_colour.h"

using namespace jpegtest;

TEST(JpegReadICC, AppliedProfileIsDroppedWhenAsked) {
    ASSERT_TRUE(IELoadMSCMS());
    const std::string profile =
        testsupport::ReadFileBytes(L"Z:\\usr\\share\\color\\icc\\ghostscript\\a98.icc");
    ASSERT_FALSE(profile.empty());
    std::vector<uint8_t> payload{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};
    payload.insert(payload.end(), profile.begin(), profile.end());
    std::vector<uint8_t> jpeg = BareEncode(MakePicture(16, 16));
    std::vector<uint8_t> seg{0xFF, 0xE2, static_cast<uint8_t>((payload.size() + 2) >> 8),
                             static_cast<uint8_t>((payload.size() + 2) & 0xFF)};
    seg.insert(seg.end(), payload.begin(), payload.end());
    jpeg.insert(jpeg.begin() + 2, seg.begin(), seg.end());

    TLoad plain;
    plain.Run(jpeg);
    const bool saved = IEColorManagementEnabled;
    IEColorManagementEnabled = true;
    for (bool drop : {false, true}) {
        TLoad load;
        load.ReadICC = true;
        load.DropAppliedICC = drop;
        load.Run(jpeg);
        ASSERT_FALSE(load.Aborting);
        ASSERT_TRUE(load.Params.InputICCProfile);
        // Adobe RGB rows shown in sRGB: more saturated than the plain decode.
        EXPECT_GT(MeanDifference(FromBitmap(load.Bitmap), FromBitmap(plain.Bitmap)), 1.0) << drop;
        EXPECT_EQ(load.Params.JPEGMarkers->IndexOf(0xE2) >= 0, !drop);
        EXPECT_EQ(load.Params.InputICCProfile->GetIsApplied(), drop);
    }
    IEColorManagementEnabled = saved;
}

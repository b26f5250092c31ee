// Rotation and colour reduction on a TImage's picture: the picture itself takes the new size and
// pixels (the component's work bitmap wraps it), as a turned image shown in a form must.
#include <gtest/gtest.h>

#include <memory>

#include "ExtCtrls.h"
#include "Forms.h"
#include "picturaproc_component.h"

TEST(TPicturaProcTImage, RotationAndGreyReachThePicture) {
    auto form = std::make_unique<TForm>(nullptr);
    auto* image = new TImage(form.get());
    TBitmap* picture = image->Picture()->Bitmap();
    picture->SetPixelFormat(pf24bit);
    picture->SetSize(6, 4);
    picture->Canvas()->SetPixel(5, 0, 0x0000FF);   // red at the top right

    TPicturaProc proc(nullptr);
    proc.SetAttachedTImage(image);
    // A quarter turn counter-clockwise: the top-right pixel goes to the top left.
    proc.Rotate(90, true, 0, 0);
    ASSERT_EQ(picture->Width(), 4);
    ASSERT_EQ(picture->Height(), 6);
    EXPECT_EQ(picture->Canvas()->GetPixel(0, 0) & 0xFFFFFF, 0x0000FFu);
    // 30 degrees by shears: the picture grows and its corners take the background.
    proc.Rotate(30, true, 0, 0x00FF00);
    EXPECT_GT(picture->Width(), 4);
    EXPECT_GT(picture->Height(), 6);
    EXPECT_EQ(picture->Canvas()->GetPixel(0, 0) & 0xFFFFFF, 0x00FF00u);
    // Grey in place: green (0, 255, 0) becomes 255 x 71 div 100 = 181 in every channel.
    proc.ConvertToGray();
    EXPECT_EQ(picture->Canvas()->GetPixel(0, 0) & 0xFFFFFF, 0xB5B5B5u);
}

// The image-processing component on a TImage's picture: operations reach the picture and make the
// TImage repaint; a lent bitmap is never made to wrap the picture; a TImage freed while attached
// leaves the component working on an own bitmap. The unit's start-up registers its clipboard format.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "ExtCtrls.h"
#include "Forms.h"
#include "picturaproc_component.h"

TEST(TPicturaProcTImage, OperationsReachThePictureAndItsRepaint) {
    auto form = std::make_unique<TForm>(nullptr);
    auto* image = new TImage(form.get());
    TBitmap* picture = image->Picture()->Bitmap();
    picture->SetPixelFormat(pf24bit);
    picture->SetSize(6, 5);

    TIEBitmap lent(9, 9, ie8g);
    TPicturaProc proc(nullptr);
    proc.SetAttachedIEBitmap(&lent);
    proc.SetAttachedTImage(image);
    EXPECT_EQ(proc.GetAttachedTImage(), image);
    EXPECT_EQ(proc.GetAttachedTBitmap(), picture);
    EXPECT_NE(proc.GetAttachedIEBitmap(), &lent);
    EXPECT_EQ(lent.GetWidth(), 9);
    EXPECT_EQ(lent.GetPixelFormat(), ie8g);

    int changes = 0;
    TNotifyEvent previous = picture->OnChange;
    picture->OnChange = [&](TObject* s) {
        ++changes;
        if (previous) previous(s);
    };
    proc.Fill(TIERGB{0, 0, 255});
    picture->OnChange = previous;
    EXPECT_GE(changes, 1);
    ASSERT_EQ(proc.GetAttachedIEBitmap()->GetWidth(), 6);
    EXPECT_EQ(proc.GetAttachedIEBitmap()->GetPixelRGB(5, 4).r, 255);
    EXPECT_EQ(picture->Canvas()->GetPixel(5, 4) & 0xFFFFFF, 0x0000FF);

    form.reset();
    EXPECT_EQ(proc.GetAttachedTImage(), nullptr);
    EXPECT_EQ(proc.GetAttachedTBitmap(), nullptr);
    ASSERT_NE(proc.GetAttachedIEBitmap(), nullptr);
    EXPECT_TRUE(proc.GetAttachedIEBitmap()->IsEmpty());
    proc.ImageResize(3, 2);
    EXPECT_EQ(proc.GetAttachedIEBitmap()->GetWidth(), 3);
}

// The start-up registers the raw clipboard format with the system.
TEST(IEInitializePicturaProcWin, RegistersTheRawClipboardFormat) {
    IEInitializePicturaProc();
    EXPECT_NE(IERawClipboardFormat, 0u);
    EXPECT_EQ(IERawClipboardFormat, RegisterClipboardFormatW(L"PICTURA RAW FORMAT"));
}

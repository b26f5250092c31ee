// The palette dialog: its layout, the cells under the mouse and the colour a click picks.
#include <gtest/gtest.h>

#include <vector>

#include "WinApi.h"
#include "iecoreutils_palettedialog.h"

TEST(PicturaPaletteDialog, FortyColoursMakeTwoRows) {
    std::vector<TIERGB> colours(40);
    for (int32_t i = 0; i < 40; ++i) colours[i] = TIERGB{(uint8_t)i, 0, 200};
    TPicturaPaletteDialog dialog(nullptr);
    EXPECT_EQ(dialog.Caption(), L"Palette");
    EXPECT_EQ(dialog.Width(), 520);
    EXPECT_TRUE(dialog.CancelButton->Cancel);
    dialog.SetPalette(colours.data(), 40);
    EXPECT_EQ(dialog.HighlightedCell(), -1);
    dialog.Click();   // nothing highlighted: nothing picked
    EXPECT_EQ(dialog.ModalResult(), mrNone);
    EXPECT_EQ(dialog.CellAt(1 + 31 * 16, 1), 31);
    EXPECT_EQ(dialog.CellAt(1 + 7 * 16, 17), 39);
    EXPECT_EQ(dialog.CellAt(1 + 8 * 16, 17), -1);   // the empty part of the second row
    dialog.MouseMove(0, 1 + 8 * 16, 17);
    EXPECT_EQ(dialog.HighlightedCell(), -1);
    dialog.MouseMove(0, 1 + 7 * 16 + 3, 20);
    EXPECT_EQ(dialog.HighlightedCell(), 39);
    dialog.Click();
    EXPECT_EQ(dialog.ModalResult(), mrOk);
    EXPECT_EQ(dialog.SelectedColor, (TColor)RGB(200, 0, 39));
}

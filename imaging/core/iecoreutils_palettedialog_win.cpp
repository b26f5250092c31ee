// The palette-picking dialog (iecoreutils_palettedialog.h).
#include "iecoreutils_palettedialog.h"

#include "WinApi.h"

TPicturaPaletteDialog::TPicturaPaletteDialog(TComponent* AOwner) : TForm(AOwner) {
    SetCaption(L"Palette");
    SetBorderStyle(bsDialog);
    SetBorderIcons(biSystemMenu);
    SetPosition(poScreenCenter);
    SetBounds(0, 0, 520, 199);
    CancelButton = new TButton(this);
    CancelButton->SetParent(this);
    CancelButton->SetCaption(L"&Cancel");
    CancelButton->SetBounds(4, 136, 75, 25);
    CancelButton->Cancel = true;
    CancelButton->ModalResult = mrCancel;
}

void TPicturaPaletteDialog::SetPalette(const TIERGB* Palette, int32_t ColorCount) {
    FPalette = Palette;
    FCount = Palette ? ColorCount : 0;
    FHighlighted = -1;
    if (HandleAllocated()) Invalidate();
}

bool TPicturaPaletteDialog::Execute() { return ShowModal() == mrOk; }

int32_t TPicturaPaletteDialog::CellAt(int32_t X, int32_t Y) const {
    if (X < 1 || Y < 1) return -1;   // left of or above the first cell
    const int32_t col = (X - 1) / 16, row = (Y - 1) / 16;
    if (col >= 32) return -1;
    const int64_t cell = (int64_t)col + (int64_t)row * 32;
    return cell < FCount ? (int32_t)cell : -1;
}

void TPicturaPaletteDialog::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    TForm::MouseMove(Shift, X, Y);
    const int32_t cell = CellAt(X, Y);
    if (cell >= 0 && cell != FHighlighted) {
        FHighlighted = cell;
        if (HandleAllocated()) Invalidate();
    }
}

void TPicturaPaletteDialog::Click() {
    TForm::Click();
    // A click before any cell was highlighted picks nothing.
    if (FHighlighted < 0 || FHighlighted >= FCount) return;
    const TIERGB& c = FPalette[FHighlighted];
    SelectedColor = (TColor)RGB(c.r, c.g, c.b);
    SetModalResult(mrOk);
}

void TPicturaPaletteDialog::PaintWindow(HDC dc) {
    TForm::PaintWindow(dc);
    for (int32_t i = 0; i < FCount; ++i) {
        const int32_t col = i % 32, row = i / 32;
        const RECT r{col * 16 + 1, row * 16 + 1, col * 16 + 16, row * 16 + 16};
        HBRUSH fill = CreateSolidBrush(RGB(FPalette[i].r, FPalette[i].g, FPalette[i].b));
        FillRect(dc, &r, fill);
        DeleteObject(fill);
        HBRUSH frame = CreateSolidBrush(i == FHighlighted ? RGB(0, 0, 0) : RGB(255, 255, 255));
        FrameRect(dc, &r, frame);
        DeleteObject(frame);
    }
}

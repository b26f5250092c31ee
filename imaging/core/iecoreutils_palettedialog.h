// The modal palette-picking dialog of the parameters-preview dialog: one cell per colour, 32 cells
// a row; moving over a cell highlights it and a click picks it. Windows build only.
#pragma once

#include <cstdint>

#include "Forms.h"
#include "StdCtrls.h"
#include "iecoredefs_types.h"

class TPicturaPaletteDialog : public TForm {
public:
    KW_CLASS_NAME(TPicturaPaletteDialog)
    explicit TPicturaPaletteDialog(TComponent* AOwner);

    // The colours to show (the caller's array, not copied; it must outlive the dialog's use).
    void SetPalette(const TIERGB* Palette, int32_t ColorCount);
    // Shows the dialog modally; True when a cell was clicked (its colour is then SelectedColor).
    bool Execute();
    // The cell under the client point (X, Y), or -1 when it shows no colour.
    int32_t CellAt(int32_t X, int32_t Y) const;
    int32_t HighlightedCell() const { return FHighlighted; }

    TButton* CancelButton;
    TColor SelectedColor = 0;

    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void Click() override;

protected:
    void PaintWindow(HDC dc) override;

private:
    const TIERGB* FPalette = nullptr;
    int32_t FCount = 0;
    int32_t FHighlighted = -1;
};

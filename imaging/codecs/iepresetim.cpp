#include "iepresetim.h"

#include <memory>
#include <vector>

#include "picturaio_params.h"

namespace {

struct TPresetRect {
    int32_t Left, Top, Right, Bottom;
};

// The inner rectangles, in list order; the pictures are drawn around them.
constexpr TPresetRect kInnerRects[] = {
    {18, 29, 140, 119},   // white rounded panel with a soft shadow, 162 x 159 RGBA
    {13, 1, 95, 98},      // blue film strip, 112 x 100 RGB
    {30, 14, 147, 92},    // spiral-bound notebook page, 163 x 108 palette with a transparent entry
    {17, 17, 131, 131},   // grey-blue bevelled frame, 150 x 150 palette
};

std::unique_ptr<std::vector<std::unique_ptr<TIEPresetImage>>> gPresetImages;

}  // namespace

void IEInitializePresetImages() {
    auto list = std::make_unique<std::vector<std::unique_ptr<TIEPresetImage>>>();
    for (int32_t i = 0; i < (int32_t)(sizeof kInnerRects / sizeof kInnerRects[0]); ++i) {
        auto image = std::make_unique<TIEPresetImage>();
        image->Data = IEPresetImagePNG(i, image->Size);
        image->FileType = ioPNG;
        image->Left = kInnerRects[i].Left;
        image->Top = kInnerRects[i].Top;
        image->Right = kInnerRects[i].Right;
        image->Bottom = kInnerRects[i].Bottom;
        list->push_back(std::move(image));
    }
    gPresetImages = std::move(list);
}

void IEFinalizePresetImages() { gPresetImages.reset(); }

int32_t IEPresetImageCount() { return gPresetImages ? (int32_t)gPresetImages->size() : 0; }

TIEPresetImage* IEGetPresetImage(int32_t Index) {
    if (Index < 0 || Index >= IEPresetImageCount()) return nullptr;
    return (*gPresetImages)[(size_t)Index].get();
}

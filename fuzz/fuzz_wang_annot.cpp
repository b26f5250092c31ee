// Wang annotation blocks on any input: loading never reads outside the block, and what it loads
// comes back through saving and loading with the same marks (attributes, points, text, image sizes).
//
// Input: the block itself.
#include <cstdint>
#include <cstring>
#include <memory>

#include "FuzzInput.h"
#include "iebitmap.h"
#include "iecoreutils_wang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that any read past the block's end is caught.
    std::unique_ptr<uint8_t[]> block(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(block.get(), data, size);
    TIEImagingAnnot annot;
    annot.LoadFromBuffer(block.get(), static_cast<int32_t>(size));

    std::unique_ptr<uint8_t[]> saved;
    int32_t length = 0;
    annot.SaveToBuffer(saved, length);
    if ((annot.GetCount() == 0) != (saved == nullptr)) FuzzFinding("saved data and object count disagree");
    TIEImagingAnnot back;
    back.LoadFromBuffer(saved.get(), length);
    if (back.GetCount() != annot.GetCount()) FuzzFinding("a saved mark was lost");
    for (int32_t i = 0; i < annot.GetCount(); ++i) {
        const TIEImagingObject* a = annot.GetObject(i);
        const TIEImagingObject* b = back.GetObject(i);
        if (a->Attributes.uType != b->Attributes.uType) FuzzFinding("mark type changed");
        // Texts are saved at the format's scale, so the font height comes back unchanged too.
        if (std::memcmp(&a->Attributes, &b->Attributes, sizeof a->Attributes) != 0) FuzzFinding("attributes changed");
        const int32_t t = a->Attributes.uType;
        if ((t == 3 || t == 4) && a->Points.size() != b->Points.size()) FuzzFinding("points changed");
        if ((t == 3 || t == 4) && !a->Points.empty() &&
            std::memcmp(a->Points.data(), b->Points.data(), a->Points.size() * sizeof(TIEPoint)) != 0)
            FuzzFinding("point values changed");
        if (t >= 7 && t <= 10 && a->Text != b->Text) FuzzFinding("text changed");
        if (t == 1 && (a->Image != nullptr) != (b->Image != nullptr)) FuzzFinding("image lost");
        if (t == 1 && a->Image &&
            (a->Image->GetWidth() != b->Image->GetWidth() || a->Image->GetHeight() != b->Image->GetHeight()))
            FuzzFinding("image size changed");
    }
    return 0;
}

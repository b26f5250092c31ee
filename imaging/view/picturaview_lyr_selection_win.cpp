// The selection record: the view's selection mask and polygon in a stream, kept on the selection
// stack while the current layer changes and by the undo of selections. Fields little-endian:
// mask width and height, polygon point count and points, polygon box, the shown flag, the current
// layer's position, the mask's bits per pixel, box and full flag, then the mask rows as stored.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "ByteOrder.h"
#include "picturaview_control.h"

namespace {

void PutInt(TStream* S, int32_t V) {
    uint8_t b[4];
    ByteOrder::PutLE32(b, uint32_t(V));
    S->WriteBuffer(b, 4);
}

int32_t GetInt(TStream* S, int64_t Size) {
    if (Size - S->GetPosition() < 4) throw EReadError(SReadError);
    uint8_t b[4];
    S->ReadBuffer(b, 4);
    return int32_t(ByteOrder::GetLE32(b));
}

uint8_t GetByte(TStream* S, int64_t Size) {
    if (Size - S->GetPosition() < 1) throw EReadError(SReadError);
    uint8_t b = 0;
    S->ReadBuffer(&b, 1);
    return b;
}

}  // namespace

void TPicturaView::WriteSelectionToStream(TStream* Stream) {
    TIEMask* m = FSelectionMask.get();
    PutInt(Stream, m->Width);
    PutInt(Stream, m->Height);
    PutInt(Stream, int32_t(SelectionPolygon.size()));
    for (const POINT& p : SelectionPolygon) {
        PutInt(Stream, p.x);
        PutInt(Stream, p.y);
    }
    PutInt(Stream, SelectionPolygonBox.left);
    PutInt(Stream, SelectionPolygonBox.top);
    PutInt(Stream, SelectionPolygonBox.right);
    PutInt(Stream, SelectionPolygonBox.bottom);
    const uint8_t shown = FSelected ? 1 : 0;
    Stream->WriteBuffer(&shown, 1);
    PutInt(Stream, GetCurrentLayer()->PosX);
    PutInt(Stream, GetCurrentLayer()->PosY);
    PutInt(Stream, m->BitsPerPixel);
    PutInt(Stream, m->X1);
    PutInt(Stream, m->Y1);
    PutInt(Stream, m->X2);
    PutInt(Stream, m->Y2);
    const uint8_t full = m->Full ? 1 : 0;
    Stream->WriteBuffer(&full, 1);
    const int64_t bytes = int64_t(m->RowLen) * m->Height;
    if (bytes > 0) Stream->WriteBuffer(m->GetBits(), int32_t(bytes));
}

bool TPicturaView::ReadSelectionFromStream(TStream* Stream, int32_t Mode) {
    // The record is read whole into a new mask first; the view changes only afterwards.
    const int64_t size = Stream->GetSize();
    const int32_t w = GetInt(Stream, size), h = GetInt(Stream, size);
    const int32_t n = GetInt(Stream, size);
    if (w < 0 || h < 0 || n < 0 || int64_t(n) * 8 > size - Stream->GetPosition()) throw EReadError(SReadError);
    std::vector<POINT> points(static_cast<size_t>(n));
    for (POINT& p : points) {
        p.x = GetInt(Stream, size);
        p.y = GetInt(Stream, size);
    }
    RECT box;
    box.left = GetInt(Stream, size);
    box.top = GetInt(Stream, size);
    box.right = GetInt(Stream, size);
    box.bottom = GetInt(Stream, size);
    const bool shown = GetByte(Stream, size) != 0;
    const int32_t sx = GetInt(Stream, size), sy = GetInt(Stream, size);
    const int32_t bpp = GetInt(Stream, size);
    if (bpp != 1 && bpp != 8) throw EReadError(SReadError);
    auto mask = std::make_unique<TIEMask>();
    mask->Allocate(w, h, bpp);
    mask->X1 = GetInt(Stream, size);
    mask->Y1 = GetInt(Stream, size);
    mask->X2 = GetInt(Stream, size);
    mask->Y2 = GetInt(Stream, size);
    mask->Full = GetByte(Stream, size) != 0;
    const int64_t bytes = int64_t(mask->RowLen) * mask->Height;
    if (mask->Width != w || mask->Height != h || bytes > size - Stream->GetPosition()) throw EReadError(SReadError);
    if (bytes > 0) Stream->ReadBuffer(mask->GetBits(), int32_t(bytes));

    SelectionPolygon = std::move(points);
    SelectionPolygonBox = box;
    FSelected = shown;
    FSelectionMask = std::move(mask);
    TIEMask* m = FSelectionMask.get();
    HoldUpdate();
    const int32_t iw = FCurrentImage->GetWidth(), ih = FCurrentImage->GetHeight();
    if (Mode == 2) {
        // Back to where it was on screen: from the saved layer position to the current one.
        TIELayer* l = GetCurrentLayer();
        m->Resize(iw + std::max(0, sx) + w, ih + std::max(0, sy) + h);
        int32_t dx = sx, dy = sy;
        m->Translate(dx, dy, true);
        dx = -l->PosX;
        dy = -l->PosY;
        m->Translate(dx, dy, true);
        m->Resize(iw, ih);
        m->UpdateFullFlag();
        m->UpdateBoundingBox();
    } else if (iw != w || ih != h) {
        if (m->IsEmpty()) {
            m->Resize(iw, ih);
        } else {
            if (Mode == 1) {
                int32_t dx = m->X2 >= iw ? (iw - 1) - m->X2 : 0;
                int32_t dy = m->Y2 >= ih ? (ih - 1) - m->Y2 : 0;
                if (dx || dy) m->Translate(dx, dy, true);
            }
            m->Resize(iw, ih);
            m->UpdateFullFlag();
            m->UpdateBoundingBox();
        }
    }
    if (m->IsEmpty())
        Deselect();
    else
        FSelected = true;
    ReleaseUpdateNoRefresh();
    Update();
    return true;
}

void TPicturaView::PushSelection() {
    auto stream = std::make_unique<TMemoryStream>();
    WriteSelectionToStream(stream.get());
    FSelectionStack.push_back(std::move(stream));
}

bool TPicturaView::PopSelection(bool Drop, int32_t Mode) {
    if (FSelectionStack.empty()) return false;
    TStream* s = FSelectionStack.back().get();
    s->SetPosition(0);
    ReadSelectionFromStream(s, Mode);
    if (Drop) FSelectionStack.pop_back();
    return true;
}

void TPicturaView::PopSelection() { PopSelection(true, 2); }

#include "picturaproc_magicwand.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "SysUtils.h"
#include "iebitmap.h"
#include "iecoreutils_lists.h"

namespace {

bool Like(const TIERGB& A, const TIERGB& B, int32_t Tolerance) {
    return std::abs(A.r - B.r) <= Tolerance && std::abs(A.g - B.g) <= Tolerance && std::abs(A.b - B.b) <= Tolerance;
}

// One span of the seed fill's stack: the row it was filled on, its ends and the direction of
// the row to look at next.
struct TSpan {
    int32_t Row;
    int32_t Left;
    int32_t Right;
    int32_t Direction;
};
static_assert(sizeof(TSpan) == 16, "a span is a 16-byte record");

// The 4-connected region of pixels like the seed (X, Y) inside the image, found by a scan-line
// seed fill with a stack of spans; each filled pixel gets its bit in Filled (rows of
// W div 8 + 1 bytes) and widens the bounding box.
class TRegionFill {
public:
    TRegionFill(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance)
        : FBitmap(Bitmap), FWidth(Bitmap->GetWidth()), FHeight(Bitmap->GetHeight()), FTolerance(Tolerance),
          FRowLen((size_t)FWidth / 8 + 1), Filled(FRowLen * (size_t)FHeight), FStack(sizeof(TSpan)) {
        FSeed = Bitmap->GetPixelAsRGB(X, Y);
        Push(Y, X, X, 1);
        Push(Y + 1, X, X, -1);
        while (FStack.GetCount() > 0) {
            TSpan span;
            std::memcpy(&span, FStack.GetItem(FStack.GetCount() - 1), sizeof span);
            FStack.SetCount(FStack.GetCount() - 1);
            FillFrom(span);
        }
    }

    bool IsFilled(int32_t X, int32_t Y) const {
        return (Filled[(size_t)Y * FRowLen + ((size_t)X >> 3)] & (0x80 >> (X & 7))) != 0;
    }

    int32_t MinX = 2147483647, MinY = 2147483647, MaxX = -1, MaxY = -1;

private:
    bool Qualifies(int32_t X, int32_t Y) {
        return X >= 0 && X < FWidth && Y >= 0 && Y < FHeight && !IsFilled(X, Y) &&
               Like(FBitmap->GetPixelAsRGB(X, Y), FSeed, FTolerance);
    }

    void Fill(int32_t X, int32_t Y) {
        Filled[(size_t)Y * FRowLen + ((size_t)X >> 3)] |= (uint8_t)(0x80 >> (X & 7));
        if (X < MinX) MinX = X;
        if (X > MaxX) MaxX = X;
        if (Y < MinY) MinY = Y;
        if (Y > MaxY) MaxY = Y;
    }

    // A span whose next row lies outside the image is not pushed.
    void Push(int32_t Row, int32_t Left, int32_t Right, int32_t Direction) {
        if (Row + Direction < 0 || Row + Direction >= FHeight) return;
        const TSpan span{Row, Left, Right, Direction};
        FStack.Add(&span);
    }

    void FillFrom(const TSpan& Span) {
        const int32_t y = Span.Row + Span.Direction, dy = Span.Direction, x1 = Span.Left, x2 = Span.Right;
        int32_t x = x1;
        while (Qualifies(x, y)) Fill(x--, y);
        int32_t left;
        if (x < x1) {
            left = x + 1;
            if (left < x1) Push(y, left, x1 - 1, -dy);   // the run reaches past the parent on the left
            x = x1 + 1;
        } else {
            for (++x; x <= x2 && !Qualifies(x, y); ++x) {}
            left = x;
            if (x > x2) return;
        }
        // A run that began left of the parent goes on to the right even past its end.
        do {
            while (Qualifies(x, y)) Fill(x++, y);
            Push(y, left, x - 1, dy);
            if (x > x2 + 1) Push(y, x2 + 1, x - 1, -dy);   // past the parent on the right
            for (++x; x <= x2 && !Qualifies(x, y); ++x) {}
            left = x;
        } while (x <= x2);
    }

    TIEBitmap* FBitmap;
    int32_t FWidth, FHeight, FTolerance;
    size_t FRowLen;
    TIERGB FSeed;

public:
    std::vector<uint8_t> Filled;

private:
    TIERecordList FStack;
};

bool Inside(TIEBitmap* Bitmap, int32_t X, int32_t Y) {
    return Bitmap && X >= 0 && Y >= 0 && X < Bitmap->GetWidth() && Y < Bitmap->GetHeight();
}

// Steps of the trace, in the order they are tried, with their chain codes (0 east, counting
// anticlockwise in eighths; y grows downwards).
constexpr int32_t kStepX[8] = {1, 0, -1, 0, 1, -1, -1, 1};
constexpr int32_t kStepY[8] = {0, -1, 0, 1, -1, -1, 1, 1};
constexpr int32_t kStepCode[8] = {0, 2, 4, 6, 1, 3, 5, 7};
// The move of each chain code.
constexpr int32_t kCodeX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int32_t kCodeY[8] = {0, -1, -1, -1, 0, 1, 1, 1};

}  // namespace

std::unique_ptr<TIEMaskPoint[]> IEMagicWandOutline(TIEBitmap* Bitmap, int32_t X, int32_t Y, bool Dilate,
                                                   int32_t Tolerance, int32_t& Count) {
    Count = 0;
    if (!Inside(Bitmap, X, Y)) return nullptr;
    const TRegionFill region(Bitmap, X, Y, Tolerance);
    const int32_t wb = region.MaxX - region.MinX + 1, hb = region.MaxY - region.MinY + 1;

    // The region's cells in its bounding box, grown by one cell with Dilate.
    std::vector<uint8_t> cells((size_t)wb * (size_t)hb);
    for (int32_t y = 0; y < hb; ++y)
        for (int32_t x = 0; x < wb; ++x) {
            if (!region.IsFilled(region.MinX + x, region.MinY + y)) continue;
            if (!Dilate) {
                cells[(size_t)y * wb + x] = 1;
                continue;
            }
            for (int32_t j = IEMax(y - 1, 0); j <= IEMin(y + 1, hb - 1); ++j)
                for (int32_t i = IEMax(x - 1, 0); i <= IEMin(x + 1, wb - 1); ++i) cells[(size_t)j * wb + i] = 1;
        }

    // Each cell as a 4 x 4 block of 1s on a grid with a margin of 2; then the 0s next to a 1
    // (left, right, above or below) become 3, the boundary to trace.
    const int64_t gw64 = 4 * (int64_t)wb + 4, gh64 = 4 * (int64_t)hb + 4;
    if (gw64 * gh64 > (int64_t)(PTRDIFF_MAX / 2)) throw EOutOfMemory(L"The outline of the selection is too large");
    const int32_t gw = (int32_t)gw64, gh = (int32_t)gh64;
    std::vector<uint8_t> grid((size_t)gw * (size_t)gh);
    auto at = [&](int32_t Col, int32_t Row) -> uint8_t& { return grid[(size_t)Row * (size_t)gw + (size_t)Col]; };
    for (int32_t y = 0; y < hb; ++y)
        for (int32_t x = 0; x < wb; ++x)
            if (cells[(size_t)y * wb + x])
                for (int32_t j = 0; j < 4; ++j) std::memset(&at(4 * x + 2, 4 * y + 2 + j), 1, 4);
    for (int32_t r = 0; r < gh; ++r)
        for (int32_t c = 1; c + 1 < gw; ++c)
            if (at(c, r) == 1) {
                if (at(c - 1, r) == 0) at(c - 1, r) = 3;
                if (at(c + 1, r) == 0) at(c + 1, r) = 3;
            }
    for (int32_t r = 1; r + 1 < gh; ++r)
        for (int32_t c = 0; c < gw; ++c)
            if (at(c, r) == 1) {
                if (at(c, r - 1) == 0) at(c, r - 1) = 3;
                if (at(c, r + 1) == 0) at(c, r + 1) = 3;
            }

    // The start: the boundary cell nearest the top-left corner of the boundary's box.
    int32_t boxCol = gw, boxRow = gh;
    for (int32_t r = 0; r < gh; ++r)
        for (int32_t c = 0; c < gw; ++c)
            if (at(c, r) == 3) {
                boxCol = IEMin(boxCol, c);
                boxRow = IEMin(boxRow, r);
            }
    int32_t startCol = -1, startRow = -1;
    int64_t bestDistance = INT64_MAX;
    for (int32_t r = 0; r < gh; ++r)
        for (int32_t c = 0; c < gw; ++c)
            if (at(c, r) == 3) {
                const int64_t dc = c - boxCol, dr = r - boxRow, d = dc * dc + dr * dr;
                if (d < bestDistance) {
                    bestDistance = d;
                    startCol = c;
                    startRow = r;
                }
            }
    if (startCol < 0) return nullptr;
    at(startCol, startRow) = 2;

    // The trace: on along the last step while it stays on the boundary, then the first neighbour
    // on the boundary in the table's order; it ends where no neighbour is left.
    std::vector<uint8_t> chain;
    int32_t col = startCol, row = startRow, last = 4;
    auto onBoundary = [&](int32_t Step) {
        const int32_t c = col + kStepX[Step], r = row + kStepY[Step];
        return c >= 0 && r >= 0 && c < gw && r < gh && at(c, r) == 3;
    };
    auto step = [&](int32_t Step) {
        col += kStepX[Step];
        row += kStepY[Step];
        at(col, row) = 2;
        chain.push_back((uint8_t)kStepCode[Step]);
    };
    for (;;) {
        if (onBoundary(last)) step(last);
        int32_t next = 0;
        while (next < 8 && !onBoundary(next)) ++next;
        if (next == 8) break;
        step(next);
        last = next;
    }
    for (int32_t s = 0; s < 8; ++s)
        if (col + kStepX[s] == startCol && row + kStepY[s] == startRow) {
            chain.push_back((uint8_t)kStepCode[s]);
            break;
        }

    // The chain replayed in image coordinates times 4: a vertex at the start and at every
    // change of direction, then each divided by 4 onto the pixel edges (corners cut on the fine
    // grid fall onto one vertex; repeated vertices are dropped).
    std::vector<TIEMaskPoint> vertices;
    auto addVertex = [&](int32_t PX, int32_t PY) {
        const TIEMaskPoint v{PX >> 2, PY >> 2};
        if (vertices.empty() || vertices.back().X != v.X || vertices.back().Y != v.Y) vertices.push_back(v);
    };
    int32_t px = startCol + 4 * region.MinX - 1, py = startRow + 4 * region.MinY - 1;
    addVertex(px, py);
    int32_t previous = -1;
    for (uint8_t code : chain) {
        if (code != previous) addVertex(px, py);
        previous = code;
        px += kCodeX[code];
        py += kCodeY[code];
    }
    while (vertices.size() > 1 && vertices.back().X == vertices.front().X && vertices.back().Y == vertices.front().Y)
        vertices.pop_back();
    Count = (int32_t)vertices.size();
    std::unique_ptr<TIEMaskPoint[]> result(new TIEMaskPoint[vertices.size()]);
    std::memcpy(result.get(), vertices.data(), sizeof(TIEMaskPoint) * vertices.size());
    return result;
}

void IEMagicWandFill(TIEBitmap* Bitmap, int32_t X, int32_t Y, bool Dilate, int32_t Tolerance, TIEMask* Mask,
                     int32_t MaskValue) {
    if (!Inside(Bitmap, X, Y) || !Mask) return;
    const TRegionFill region(Bitmap, X, Y, Tolerance);
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    for (int32_t y = region.MinY; y <= region.MaxY; ++y)
        for (int32_t x = region.MinX; x <= region.MaxX; ++x) {
            if (!region.IsFilled(x, y)) continue;
            if (!Dilate) {
                Mask->SetPixel(x, y, MaskValue);
                continue;
            }
            for (int32_t j = IEMax(y - 1, 0); j <= IEMin(y + 1, h - 1); ++j)
                for (int32_t i = IEMax(x - 1, 0); i <= IEMin(x + 1, w - 1); ++i) Mask->SetPixel(i, j, MaskValue);
        }
}

void IEMagicWandColorMatch(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, TIEMask* Mask,
                           int32_t MaskValue) {
    if (!Inside(Bitmap, X, Y) || !Mask) return;
    const TIERGB seed = Bitmap->GetPixelAsRGB(X, Y);
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y)
        for (int32_t x = 0; x < Bitmap->GetWidth(); ++x)
            if (Like(Bitmap->GetPixelAsRGB(x, y), seed, Tolerance)) Mask->SetPixel(x, y, MaskValue);
}

// KWPicturaLib: the in-house uses of the image library. Rotating a TIEBitmap, choosing the storage
// of large bitmaps, a preconfigured image input/output component, blank bitmaps, and text rendered
// into a TIEBitmap with an alpha channel (anti-aliased by drawing at double size and scaling down
// with the Hermite filter, outlined, turned by quarter turns or written vertically) and then blended
// onto any canvas. The label draws its anti-aliased captions with it, the skin engine its captions.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Graphics.h"
#include "KWCommonType.h"

class TIEBitmap;
class TPicturaIO;

// Bitmaps wider or higher than this live in file storage, smaller ones in a system bitmap.
constexpr int32_t KWLargeBitmapSide = 10000;
// The font weight of anti-aliased text that is not bold (medium): the double-size glyphs lose some
// of their stroke when scaled down.
constexpr int32_t KWAntialiasFontWeight = 500;

// The description of one text output.
struct TieDrawTextInfo {
    std::wstring Text;
    // Added to the rectangle's position when blending.
    int32_t OffsetX = 0;
    int32_t OffsetY = 0;
    // Degrees counter-clockwise: 0, 90, 180 or 270 (any other value counts as 0).
    int32_t Angle = 0;
    std::wstring FontName;
    int32_t FontSize = 0;   // points
    TColor FontColor = clBlack;
    bool Bold = false;
    bool Italic = false;
    // Vertical writing: the font's vertical form ("@" face) turned by -90 degrees, lines from right
    // to left.
    bool Vertical = false;
    // Drawn at double size and scaled down.
    bool AntiAlias = false;
    // Width of an outline around the glyphs in OutlineColor, 0 for none.
    int32_t OutlineWidth = 0;
    TColor OutlineColor = clWhite;
    // DrawTextW's flags (DT_...). With DT_CALCRECT the routines only measure.
    int32_t Flags = 0;
    // Where the text goes; the measured rectangle after a measurement.
    RECT Rect{0, 0, 0, 0};
    // The lines of vertical text with their sizes, filled by the measurement.
    TKWLineExtents LineExtents;
};

// Rotates ABitmap in place by AAngle degrees counter-clockwise (its alpha channel too), nearest
// pixel, uncovered areas black and transparent. False for a missing or empty bitmap and for an
// angle outside 0..360; 0 gives True and changes nothing. A failure of the image library is logged
// (sender "KWRotateImage", level 3) and gives False.
bool KWRotateImage(TIEBitmap* ABitmap, int32_t AAngle);

// Storage by size: file storage when AWidth or AHeight exceeds KWLargeBitmapSide, else the system
// bitmap (unless it is there already). Nothing for a missing bitmap.
void KWSetBitmapLocation(TIEBitmap* ABitmap, int32_t AWidth, int32_t AHeight);
void KWSetBitmapLocationBySize(TIEBitmap* ABitmap);

// An image input/output component (owned by the caller) set up for quick previews: fast integer
// DCT, embedded thumbnails (generic, JPEG EXIF, camera raw) instead of the image when AThumbnail,
// no orientation applied, JPEG scaling automatic towards AWidth x AHeight unless AFullSize or a
// negative size asks for full size.
std::unique_ptr<TPicturaIO> KWCreateImageIO(int32_t AWidth, int32_t AHeight, bool AThumbnail, bool AFullSize);

// A new ie24RGB bitmap of AWidth x AHeight (at least 1 x 1), black, with a fully transparent alpha
// channel (owned by the caller).
std::unique_ptr<TIEBitmap> KWCreateBlankBitmap(int32_t AWidth, int32_t AHeight);
// Replaces the content of a non-empty bitmap by a blank bitmap of its size.
void KWClearBitmap(TIEBitmap* ABitmap);

// A record from a font: its face, size, colour (system colours resolved when drawing), bold and
// italic; no text, offsets 0, angle 0, not vertical, no anti-aliasing or outline (outline colour
// white), flags DT_CALCRECT, empty rectangle.
void KWMakeTextInfo(const TFont* AFont, TieDrawTextInfo& AInfo);
// Sets a font's face, size and colour from the record, adding bold and italic when set.
void KWApplyTextInfoFont(TFont* AFont, const TieDrawTextInfo& AInfo);

// Draws (or, with DT_CALCRECT, measures) the text on a canvas: rendered into a blank bitmap of the
// rectangle's size and blended through its alpha at (OffsetX + Rect.left, OffsetY + Rect.top).
// Nothing without a canvas.
void KWDrawTextToCanvas(TCanvas* ACanvas, TieDrawTextInfo& AInfo);
// Renders the text into ABitmap (ie24RGB with an alpha channel): the text is drawn, with its alpha,
// in a work bitmap of the rectangle's size (double with anti-aliasing), turned by the angle and
// merged with its alpha at (OffsetX + Rect.left, OffsetY + Rect.top), scaled to the rectangle.
// With DT_CALCRECT only AInfo.Rect (and, for vertical text, AInfo.LineExtents) is set: horizontal
// text as DrawTextW measures it, vertical text placed in the rectangle by DT_CENTER/DT_RIGHT and
// DT_VCENTER/DT_BOTTOM; width and height exchanged for 90 and 270 degrees. The outline does not
// enlarge the measured rectangle. Nothing for a missing bitmap or an empty text.
void KWRenderText(TIEBitmap* ABitmap, TieDrawTextInfo& AInfo);

// GIF loading with frame composition: loading frame N of an animated GIF replays frames 0 to N
// onto a canvas the size of the logical screen, honouring each frame's position, transparency and
// "restore to background" disposal, so that the result is what a viewer shows at frame N.
#include "picturaio.h"
#include "picturaio_thread.h"
#include "picturaio_finish.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "giffilter.h"
#include "iecoreutils_general.h"
#include "iecoreutils_streams.h"
#include "iemask.h"
#include "ieprochooks.h"

int32_t TPicturaIO::LoadFromFileGIF(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileGIF, FileName)) return -1;
    TIEWideFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    const int32_t count = SyncLoadFromStreamGIF(&stream);
    Params->FileName = FileName;
    return count;
}

int32_t TPicturaIO::LoadFromStreamGIF(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamGIF, Stream)) return -1;
    return SyncLoadFromStreamGIF(Stream);
}

namespace {

// The most memory a canvas may take, on every build: a quarter of a 32-bit process's own 2 GiB,
// the share one image may have there before it has to go to a file.
constexpr int64_t kMaxCanvasBytes = int64_t{512} << 20;

// Draws Frame onto the ie24RGB Canvas at (X, Y), clipped, weighing each pixel by the frame's
// alpha. A GIF frame's alpha is 0 (its transparent index) or 255, and an opaque pixel must land
// with its exact colour: the general renderer's blend moves a fully opaque colour by one level.
void DrawTransparentFrame(TIEBitmap& Frame, TIEBitmap& Canvas, int32_t X, int32_t Y) {
    TIEBitmap source(&Frame);
    source.SetPixelFormat(ie24RGB);
    TIEBitmap* alpha = Frame.GetAlphaChannel();
    const int32_t left = std::max(0, -X), top = std::max(0, -Y);
    const int32_t right = std::min<int64_t>(source.GetWidth(), static_cast<int64_t>(Canvas.GetWidth()) - X);
    const int32_t bottom = std::min<int64_t>(source.GetHeight(), static_cast<int64_t>(Canvas.GetHeight()) - Y);
    for (int32_t y = top; y < bottom; ++y) {
        const TIERGB* src = reinterpret_cast<const TIERGB*>(source.GetScanline(y));
        const uint8_t* a = alpha->GetScanline(y);
        TIERGB* dst = reinterpret_cast<TIERGB*>(Canvas.GetScanline(y + Y)) + X;
        for (int32_t x = left; x < right; ++x) {
            const int32_t w = a[x];
            if (w == 255) {
                dst[x] = src[x];
            } else if (w != 0) {
                dst[x].r = static_cast<uint8_t>((src[x].r * w + dst[x].r * (255 - w) + 127) / 255);
                dst[x].g = static_cast<uint8_t>((src[x].g * w + dst[x].g * (255 - w) + 127) / 255);
                dst[x].b = static_cast<uint8_t>((src[x].b * w + dst[x].b * (255 - w) + 127) / 255);
            }
        }
    }
}

}  // namespace

int32_t TPicturaIO::SyncLoadFromStreamGIF(TStream* Stream) {
    Aborting = false;
    int32_t count = 0;
    IEWithFinishWork(*this, [&] {
        // Without a bitmap nothing can be loaded: the load fails.
        if (!MakeConsistentBitmap(0)) {
            Aborting = true;
            return;
        }
        TIOParamsVals& params = *Params;
        params.ResetInfo();
        TIOProgressRecord progress = MakeProgressRecord();
        IOBitmap->RemoveAlphaChannel(false, 0xFFFFFF);
        const int64_t start = Stream->GetPosition();

        const int32_t target = params.GIFImageIndex;
        // Reading one frame alone, the reader reports its own progress; replaying several frames,
        // the progress goes per frame and the reader only sees the abort flag.
        TIOProgressRecord quiet;
        quiet.Aborting = &Aborting;
        TIOProgressRecord& readerProgress = target <= 0 ? progress : quiet;

        std::unique_ptr<TIEBitmap> canvas;
        int32_t prevX = 0, prevY = 0, prevWidth = 0, prevHeight = 0;
        uint8_t prevAction = 0;
        double percentPerFrame = 0;

        for (int32_t i = 0;; ++i) {
            auto frame = std::make_unique<TIEBitmap>();
            Stream->SetPosition(start);
            params.SetImageIndex(i);
            TIEMask* alphaMask = nullptr;
            IEReadGIFStream(*Stream, frame.get(), count, params, readerProgress, false, alphaMask, false);
            // The reader parses the file a little differently for each frame it is asked for, so a
            // damaged file may count a frame it then does not deliver: the replay cannot go on (and
            // a file without frames has loaded nothing).
            if (!Aborting && frame->IsEmpty()) Aborting = true;
            const TIEPixelFormat frameFormat = frame->GetPixelFormat();
            CheckDPI();
            const int32_t frameWidth = frame->GetWidth(), frameHeight = frame->GetHeight();
            const int32_t winWidth = std::max(params.GIFWinWidth, frameWidth);
            const int32_t winHeight = std::max(params.GIFWinHeight, frameHeight);
            if (alphaMask) {
                frame->GetAlphaChannel()->CopyFromTIEMask(alphaMask);
                delete alphaMask;
            }

            TIEBitmap* image = frame.get();
            if (count > 1) {
                const TColor background = IERGBToColor(params.GIFBackground);
                if (canvas && !canvas->IsEmpty() && prevAction == 2) {
                    canvas->FillRect(prevX, prevY, prevX + prevWidth - 1, prevY + prevHeight - 1, background);
                    canvas->GetAlphaChannel()->FillRect(prevX, prevY, prevX + prevWidth - 1, prevY + prevHeight - 1, 0);
                }
                // The canvas is drawn into, so it must stay in memory: a logical screen too large
                // for that (its size comes from the file) fails the load instead of allocating.
                if (!canvas) canvas = std::make_unique<TIEBitmap>();
                const int64_t canvasBytes = static_cast<int64_t>(winWidth) * winHeight * 4;   // RGB and alpha
                if (canvasBytes > canvas->MinFileSize || canvasBytes > kMaxCanvasBytes ||
                    !IEImageSizeAllowed(winWidth, winHeight)) {
                    Aborting = true;
                    break;
                }
                if (canvas->IsEmpty()) {
                    canvas->SetLocation(ieMemory);
                    if (!canvas->Allocate(winWidth, winHeight, ie24RGB)) {
                        Aborting = true;
                        break;
                    }
                    canvas->Fill(background);
                    canvas->GetAlphaChannel()->Fill(0);
                }
                canvas->SetPixelFormat(ie24RGB);
                if (canvas->GetWidth() < winWidth || canvas->GetHeight() < winHeight)
                    canvas->Resize(std::max(winWidth, canvas->GetWidth()), std::max(winHeight, canvas->GetHeight()),
                                   background, 255, 0, 0);
                if (canvas->GetLocation() != ieMemory || canvas->IsEmpty()) {
                    Aborting = true;
                    break;
                }
                // A frame the reader could not deliver draws nothing.
                if (frameWidth > 0 && frameHeight > 0) {
                    if (frame->HasAlphaChannel()) {
                        DrawTransparentFrame(*frame, *canvas, params.GIFXPos, params.GIFYPos);
                    } else {
                        std::vector<uint8_t*> rows;
                        std::vector<int32_t> columns, rowMap;
                        frame->RenderToTIEBitmapEx(canvas.get(), rows, columns, rowMap, nullptr, params.GIFXPos,
                                                   params.GIFYPos, frameWidth, frameHeight, 0, 0, frameWidth, frameHeight,
                                                   true, false, 255, rfNone, true, 0);
                    }
                    frame->MergeAlphaRectTo(canvas.get(), 0, 0, params.GIFXPos, params.GIFYPos, frameWidth, frameHeight);
                    canvas->GetAlphaChannel()->SetFull(false);
                }
                prevX = params.GIFXPos;
                prevY = params.GIFYPos;
                prevWidth = frameWidth;
                prevHeight = frameHeight;
                prevAction = params.GIFAction;
                frame.reset();
                image = canvas.get();
                // The parameters now describe the composed image.
                params.GIFAction = 2;
                params.GIFXPos = 0;
                params.GIFYPos = 0;
            }

            if (Aborting) break;
            if (count > 0) {
                percentPerFrame = 100.0 / count;
                IOBitmap->Assign(image);
                // A canvas of black-and-white frames goes back to 1 bit by its two colours: each
                // pixel to the nearer of black and white (a threshold at the image's mean would
                // turn a uniform canvas white).
                if (count > 1 && frameFormat == ie1g)
                    IEConvertToBWThresholdHook(IOBitmap, 128, nullptr, nullptr);
                else
                    IOBitmap->SetPixelFormat(frameFormat);
            }
            frame.reset();
            if (OnProgress) DoIntProgress(this, static_cast<int32_t>(i * percentPerFrame));
            if (Aborting) break;
            if (i + 1 >= count || i == target) break;
        }

        canvas.reset();
        params.SetImageIndex(target);
        if (AutoAdjustDPI) AdjustDPI();
        SetBackground(IERGBToColor(params.GIFFlagTranspColor ? params.GIFTranspColor : params.GIFBackground));
        params.FileType = ioGIF;
        params.FileName.clear();
        Update();
    });
    return count;
}

// TPicturaProc: rotation by any angle, the alpha channel turned along with the image.
#include <cmath>
#include <memory>

#include "SysUtils.h"
#include "picturaproc_component.h"
#include "picturaproc_rotate.h"
#include "picturaproc_shears.h"

void TPicturaProc::Rotate(double Angle, bool AntiAlias, uint8_t QualityMode, TColor Background) {
    // A turn by 0 changes nothing; an infinite or undefined angle is no turn at all.
    if (Angle == 0 || !std::isfinite(Angle)) return;
    if (!PrepareBitmap(0)) return;
    if (AutoUndo) SaveUndoCaptioned(Format(IECaptionRotate, Angle), ieuImage);
    if (Background == -1) Background = GetBackground();
    TIEBitmap* work = WorkBitmap;
    // The alpha channel is turned as a copy of its own, with a transparent background, by the
    // routine that matches the image's (so that both come out the same size), then put back.
    std::unique_ptr<TIEBitmap> alpha;
    if (work->HasAlphaChannel()) {
        alpha = std::make_unique<TIEBitmap>();
        alpha->Assign(work->GetAlphaChannel());
    }
    const TIEPixelFormat format = work->GetPixelFormat();
    if (!AntiAlias || (format != ie24RGB && format != ie1g)) {
        IERotatePlain(work, Background, this, Angle, OnProgress);
        if (alpha) IERotatePlain(alpha.get(), 0, nullptr, Angle);
    } else if (QualityMode != 0 && !IEIsRightAngle(Angle) && format == ie24RGB) {
        IERotateHighQuality(work, Background, QualityMode, Angle, OnProgress, this);
        if (alpha) IERotateHighQuality8(alpha.get(), 0, QualityMode, Angle);
    } else {
        if (alpha) {
            if (format == ie1g) IERotateNearest8(alpha.get(), 0, Angle);
            else IERotateByShears8(alpha.get(), Angle, AntiAlias, 0);
        }
        IERotateByShears(work, Angle, AntiAlias, this, IEColorToRGB(Background), OnProgress);
    }
    if (alpha) work->GetAlphaChannel()->Assign(alpha.get());
    Update();
    DoFinishWork();
}

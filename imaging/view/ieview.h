// The abstract base of the image viewer controls (TIEView): a windowed control that paints its
// whole client area itself and gives the non-visual image components what they need to attach
// to it: a background colour, a border style, a pair of resolutions, the displayed bitmap, a
// paint lock and a list of bitmap-change callbacks. An attached component registers a callback
// when it attaches and removes it when it detaches; the view calls every callback with
// Destroying = False after it replaced the object GetIEBitmap returns (NotifyBitmapChange), and
// once with Destroying = True when it is destroyed first, after which it never calls it again.
// Windows only (a window control over the visual layer).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Controls.h"
#include "Graphics.h"
#include "picturaview.h"   // the private messages a viewer receives

class TIEBitmap;
class TIEView;

// Installs the viewer's side of the I/O component's link to an attached viewer (every viewer
// does when it is made, so that the I/O component reaches any viewer that exists).
void IEInstallViewLink();

// A bitmap-change callback: the view that changed, and whether it is being destroyed.
using TIEBitmapChangeEvent = std::function<void(TIEView* Sender, bool Destroying)>;

class TIEView : public TCustomControl {
public:
    KW_CLASS_NAME(TIEView)
    explicit TIEView(TComponent* AOwner);
    // Calls each registered callback once with Destroying = True, first to last.
    ~TIEView() override;

    TColor GetBackground() const { return FBackground; }
    // Stores the colour; descendants repaint.
    virtual void SetBackground(TColor Value);
    TBorderStyle GetBorderStyle() const { return FBorderStyle; }
    // A different value is stored and the window made again with the new frame.
    void SetBorderStyle(TBorderStyle Value);
    bool GetCtl3D() const { return Ctl3D(); }
    // A different value is stored and the window made again with the new frame.
    void SetCtl3D(bool Value);

    // The displayed system bitmap and image buffer: none here.
    virtual TBitmap* GetBitmap() { return nullptr; }
    virtual TIEBitmap* GetIEBitmap() { return nullptr; }
    virtual TIEBitmap* GetAlphaChannel() = 0;
    virtual bool HasAlphaChannel() = 0;
    virtual void RemoveAlphaChannel(bool Merge) = 0;
    virtual void HoldPaint() = 0;
    virtual void ReleasePaint() = 0;
    virtual void ReleasePaintNoUpdate() = 0;

    int32_t GetDpiX() const { return FDpiX; }
    int32_t GetDpiY() const { return FDpiY; }
    // Store the value unless it is 0 (0 keeps the old value).
    virtual void SetDpiX(int32_t Value);
    virtual void SetDpiY(int32_t Value);
    virtual void SetDpi(int32_t X, int32_t Y);

    // The image changed: nothing here (the image viewer fires its OnImageChange).
    virtual void DoImageChange() {}

    // Registers a callback and returns its handle (the callback's record).
    void* AddBitmapChangeCallback(TIEBitmapChangeEvent Callback);
    // Nothing for a nil handle or one that is not registered (for example removed before).
    void RemoveBitmapChangeCallback(void* Handle);
    // Calls every registered callback, first to last, with Destroying = False.
    virtual void NotifyBitmapChange();
    int32_t GetBitmapChangeCallbackCount() const { return static_cast<int32_t>(FCallbacks.size()); }

    // The control's own drawing canvas.
    TCanvas* GetCanvas() const { return Canvas(); }

protected:
    void CreateParams(TCreateParams& Params) override;

private:
    struct TCallbackRecord {
        TIEBitmapChangeEvent Callback;
    };
    TBorderStyle FBorderStyle = bsSingle;
    std::vector<std::unique_ptr<TCallbackRecord>> FCallbacks;
    TColor FBackground = clBtnFace;
    int32_t FDpiX = 0;
    int32_t FDpiY = 0;
};

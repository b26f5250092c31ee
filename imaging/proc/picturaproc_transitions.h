// The transition-effect player: animates the change from one image to another on a view. It holds
// copies of the old and the new image and a frame bitmap (24 bits per pixel, all of one size) and a
// timer; on every tick it works out a step between 0 and 1024 from the elapsed time, composes the
// frame for that step with the current effect and copies it onto the view's canvas. After the
// duration it paints the final image, stops and tells the view.
//
// Effects 1 to 226 are the entries of the extra-transition table (ieXtraTransitions.h); 42 of them
// the player draws itself, the others through the table's procedures. Effect 227, pan and zoom,
// has no table entry and is drawn here too.
//
// The player sits below the viewer: it reaches its view through TIETransitionView, which the
// viewer implements. Time comes from the clock in force (rtl/Clock.h) and ticks from the timer
// source in force, so tests step both by hand. Windows build only (GDI drawing).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ExtCtrls.h"
#include "Graphics.h"
#include "iebitmap.h"

enum TIETransitionTiming : uint8_t { ttLinear = 0, ttExponential = 1, ttLogarithmic = 2 };

class TIETransitionEffects;
using TIETransitionStepEvent = std::function<void(TObject* Sender, int32_t step)>;
using TIEOnTransitionPaint =
    std::function<void(TObject* Sender, TBitmap* Bitmap, TIETransitionEffects* Transition, int32_t Step)>;

// What the player needs of the view it plays on.
class TIETransitionView {
public:
    virtual ~TIETransitionView() = default;
    // The view itself: the sender of the player's events.
    virtual TObject* GetTransitionSender() = 0;
    // The view's own drawing canvas, which every frame is copied onto.
    virtual TCanvas* GetTransitionCanvas() = 0;
    // The size of the view's drawing area: the size of a transition's frames.
    virtual int32_t GetTransitionClientWidth() = 0;
    virtual int32_t GetTransitionClientHeight() = 0;
    // The image the view shows now (pan and zoom renders from it unless told otherwise); nullptr
    // when it has none.
    virtual TIEBitmap* GetTransitionBitmap() = 0;
    // The paint lock a running transition holds, so that the view does not paint over it, and its
    // release at the end without a repaint.
    virtual void TransitionHoldPaint() = 0;
    virtual void TransitionReleasePaintNoUpdate() = 0;
    // Repaints the view at once (at the end, when the player is to update it).
    virtual void TransitionUpdate() = 0;
    // Paints the view's background style over Canvas at (0, 0) in the view's size; False when the
    // view has no background style of its own (the player then fills with its Background colour).
    virtual bool TransitionDrawBackground(TCanvas* Canvas) = 0;
};

// Effect number of pan and zoom, the one effect without a table entry.
constexpr uint8_t IEPanZoomEffect = 227;

class TIETransitionEffects : public TObject {
public:
    KW_CLASS_NAME(TIETransitionEffects)
    explicit TIETransitionEffects(TIETransitionView* AView);
    ~TIETransitionEffects() override;
    TIETransitionEffects(const TIETransitionEffects&) = delete;
    TIETransitionEffects& operator=(const TIETransitionEffects&) = delete;

    std::unique_ptr<TBitmap> OldImage;   // the image being replaced
    std::unique_ptr<TBitmap> NewImage;   // the image coming in
    std::unique_ptr<TBitmap> Frame;      // the frame being composed
    TIEBitmap* PanZoomImage = nullptr;   // effect 227 renders from it (not owned)
    // Entry i is the address of row i (0 = top) of each bitmap.
    std::vector<uint8_t*> OldRows, NewRows, FrameRows;
    int32_t FrameWidth = 0, FrameHeight = 0;
    bool Running = false;
    TIETransitionView* View = nullptr;
    std::unique_ptr<TTimer> Timer;       // drives TimerStep
    int32_t Step = 0;                    // position of the next frame, 0 to 1024
    bool FirstFrame = false;             // the first frame is still to be drawn
    int32_t RandomCount = 0;             // random points or boxes drawn so far (effects 25, 26)
    uint8_t Effect = 0;                  // 1 to 227; 0 = none
    int32_t Duration = 1000;             // milliseconds
    uint32_t StartTick = 0;              // tick count (milliseconds) at the start
    bool UpdateOnStop = false;           // at the end paint the new image and update the view
    RECT StartRect{}, EndRect{};         // effect 227: rectangles of PanZoomImage at steps 0 and 1024
    TNotifyEvent OnTransitionStop;       // with the view as sender
    TIETransitionStepEvent OnTransitionStep;
    TIETransitionTiming Timing = ttLinear;
    TColor Background = 0;               // colour of the fades and of the page-flip and cube shading
    // Effect 227: least and greatest left edge, least and greatest top edge, least and greatest
    // bottom edge, least and greatest right edge; each edge moves only one way.
    int32_t PanZoomLimits[8] = {};
    TIEOnTransitionPaint OnTransitionPaint;   // after each frame
    int32_t FrameCount = 0;              // timer steps taken

    void SetOnTransitionPaint(TIEOnTransitionPaint Handler) { OnTransitionPaint = std::move(Handler); }
    // Ends a running transition: timer off, the bitmaps back to 1 x 1, the view's paint lock given
    // back, the view updated when UpdateOnStop, OnTransitionStop. Nothing when idle or Effect is 0.
    void Stop();
    // One tick: paints the frame of the current step on the view, ends the transition once the
    // duration has run out, and computes the next step from the elapsed time.
    void TimerStep(TObject* Sender);
    // Composes the frame for the current Step with the current Effect and copies it onto Canvas at
    // (0, 0) (nullptr: the frame only). Nothing while no transition has its frames.
    void PaintFrame(TCanvas* Canvas);

    // Starts a transition from OldPicture to NewPicture with AEffect over ADuration milliseconds.
    // The frames take the view's drawing size (or, without a view, OldPicture's size); each
    // picture is drawn at (0, 0) onto a black 24-bit image of that size. Timing, Background,
    // UpdateOnStop, StartRect, EndRect and PanZoomImage are read as they are set before the call
    // (PanZoomImage defaults to the view's image for effect 227). A running transition is stopped
    // first. Nothing starts for effect 0 or an empty size.
    void Run(TBitmap* OldPicture, TBitmap* NewPicture, uint8_t AEffect, int32_t ADuration);

private:
    void SetFrameSize(int32_t AWidth, int32_t AHeight);
    void MakeRowTables();
    int32_t NextStep(uint32_t Elapsed) const;
    // The frame's pieces, by family.
    void CopyOldToFrame();
    void BlendRows(int32_t s, int32_t Kind);
    void WipeRect(int32_t s);
    void SlideRows(int32_t s);
    void RandomPoints(int32_t s);
    void RandomBoxes(int32_t s);
    void CentreRect(int32_t s);
    void PageFlip(int32_t s);
    void CubeRotate(int32_t s);
    void SoftWipe(int32_t s);
    void PanZoom(int32_t s);
    // Each pixel of the area becomes (pixel·Factor + Background·(1024 − Factor)) >> 10.
    void ShadeArea(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t Factor);

    bool FPanZoomLimitsSet = false;   // the limits hold this transition's edges
};

// The rectangle Width × Height fitted into BoxWidth × BoxHeight keeping its aspect ratio, and
// centred; a zero size gives an empty rectangle.
RECT IEFitRectCentered(int32_t Width, int32_t Height, int32_t BoxWidth, int32_t BoxHeight);

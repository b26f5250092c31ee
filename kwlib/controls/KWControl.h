// KWControl: the in-house containers. Panels (one that passes its enabled state on to its children,
// and a painted one with gradients, pictures, borders and transparency), the tab strip over the
// system tab control with its tab strings, and the page control with its tab sheets.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Controls.h"
#include "ExtCtrls.h"
#include "Graphics.h"
#include "WinApi.h"

#include <commctrl.h>

class TKWSharePicture;
class TCustomForm;

// Sets Enabled of each direct child control of AControl to AControl's own Enabled.
void KWSetChildrenEnabled(TWinControl* AControl);

// Fills ARect from AFromColor to AToColor; each channel is interpolated on its own with
// truncating integer arithmetic, its byte wrapping. AKind: 0 vertical strips from left to right,
// 1 horizontal strips from top to bottom, 2 concentric ellipses, 3 concentric rectangles,
// 4 horizontal bands from the top and bottom edges to the middle, 5 vertical bands from both sides.
void KWGradientFill(TCanvas* ACanvas, const RECT& ARect, TColor AFromColor, TColor AToColor, int32_t AKind);

// ---------------------------------------------------------------------------------------------
// Panels
// ---------------------------------------------------------------------------------------------

// The class library's panel that can pass its enabled state on to its child controls.
class TKWCustomPanel : public TCustomPanel {
public:
    KW_CLASS_NAME(TKWCustomPanel)
    explicit TKWCustomPanel(TComponent* AOwner) : TCustomPanel(AOwner) {}

    bool ChildControlEnabled() const { return FChildControlEnabled; }
    // Turning it on passes the current enabled state to the children at once.
    void SetChildControlEnabled(bool AValue);

protected:
    void CMEnabledChanged(TMessage& Message) override;

private:
    bool FChildControlEnabled = true;
};

typedef std::function<void(TObject* ASender, const std::vector<std::wstring>& AFiles)> TcnDropFileEvent;
typedef std::function<void(TObject* ASender, TMessage& AMsg)> TcnNCHitTestEvent;

// A painted panel: three-colour gradient, a background picture (its own or one of a shared store),
// borders per side, transparency, a snapshot that imitates transparency, dropped files.
class TKWPanel : public TKWCustomPanel {
public:
    KW_CLASS_NAME(TKWPanel)
    explicit TKWPanel(TComponent* AOwner);
    ~TKWPanel() override;

    // Also invalidates the controls behind the panel and its own children.
    void Invalidate() override;

    // A different colour also turns UseTheme off.
    void SetColor(TColor AValue);
    bool UseTheme() const { return FUseTheme; }
    void SetUseTheme(bool AValue);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool AValue);
    bool Chameleon() const { return FChameleon; }
    void SetChameleon(bool AValue);
    bool DisableEraseBkGnd = false;

    TPicture* BackGround() const { return FBackGround.get(); }
    // Copies the picture; its graphic is made transparent.
    void SetBackGround(const TPicture* AValue);
    TKWSharePicture* KWSharePicture() const { return FSharePicture; }
    void SetKWSharePicture(TKWSharePicture* AValue);
    const std::wstring& ImageIDforBackGround() const { return FImageID; }
    void SetImageIDforBackGround(const std::wstring& AValue);
    // A background picture is available: its own, or the store's picture of that ID.
    bool BackGroundEnabled() const;
    bool BackGroundStretch() const { return FBackGroundStretch; }
    void SetBackGroundStretch(bool AValue);
    int32_t BackGroundOffSetX() const { return FOffsetX; }
    void SetBackGroundOffSetX(int32_t AValue);
    int32_t BackGroundOffSetY() const { return FOffsetY; }
    void SetBackGroundOffSetY(int32_t AValue);

    bool GActive() const { return FGActive; }
    void SetGActive(bool AValue);
    TColor GColor1() const { return FGColor1; }
    void SetGColor1(TColor AValue);
    TColor GColor2() const { return FGColor2; }
    void SetGColor2(TColor AValue);
    TColor GColor3() const { return FGColor3; }
    void SetGColor3(TColor AValue);
    bool GVertical() const { return FGVertical; }
    void SetGVertical(bool AValue);
    int32_t GPercent() const { return FGPercent; }
    // Clamped to 1..100.
    void SetGPercent(int32_t AValue);

    // Borders: the outer and inner frames, then the four sides.
    enum TBorderPart { bpOuter, bpInner, bpLeft, bpTop, bpRight, bpBottom };
    int32_t SelfBorderWidth(TBorderPart APart) const { return FBorderWidth[APart]; }
    void SetSelfBorderWidth(TBorderPart APart, int32_t AValue);
    TColor SelfBorderColor(TBorderPart APart) const { return FBorderColor[APart]; }
    void SetSelfBorderColor(TBorderPart APart, TColor AValue);
    // Sides only: the lines run the full length between the frames.
    bool SelfBorderForceSolid(TBorderPart APart) const { return FForceSolid[APart]; }
    void SetSelfBorderForceSolid(TBorderPart APart, bool AValue);

    bool AllowDropFile() const { return FAllowDropFile; }
    // Registers or unregisters the window with the shell at once.
    void SetAllowDropFile(bool AValue);

    TcnDropFileEvent OnDropFile;
    TcnNCHitTestEvent OnNCHitTest;

protected:
    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Paint() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void CMVisibleChanging(TMessage& Message) override;
    void WMEraseBkgnd(TMessage& Message) override;
    void WMNCHitTest(TMessage& Message) override;
    void WMMove(TMessage& Message) override;
    void WMDropFiles(TMessage& Message) override;

private:
    void PaintGradient();
    void PaintGradientPart(const RECT& AArea, bool AVertical, int32_t AStart, int32_t ALength, TColor AColor1,
                           TColor AColor2);
    void PaintBorders();
    void BackGroundChanged(TObject* Sender);

    bool FUseTheme = true;
    bool FTransparent = false;
    bool FChameleon = false;
    std::unique_ptr<TPicture> FBackGround;
    TKWSharePicture* FSharePicture = nullptr;
    std::wstring FImageID;
    bool FBackGroundStretch = false;
    int32_t FOffsetX = 0, FOffsetY = 0;
    bool FGActive = false;
    TColor FGColor1 = clBtnFace, FGColor2 = clWhite, FGColor3 = clGray;
    bool FGVertical = true;
    int32_t FGPercent = 100;
    int32_t FBorderWidth[6] = {0, 0, 0, 0, 0, 0};
    TColor FBorderColor[6] = {clGray, clWhite, clWhite, clWhite, clWhite, clWhite};
    bool FForceSolid[6] = {false, false, false, false, false, false};
    bool FAllowDropFile = false;
    std::unique_ptr<TBitmap> FSnapshot;
};

// ---------------------------------------------------------------------------------------------
// Tab strip
// ---------------------------------------------------------------------------------------------

enum TKWTabStyle { tsTabs, tsButtons, tsFlatButtons };
enum TKWTabPosition { tpTop, tpBottom, tpLeft, tpRight };

class TKWCustomTabControl;

typedef std::function<void(TObject* Sender, bool& AllowChange)> TTabChangingEvent;
typedef std::function<void(TKWCustomTabControl* Control, int32_t TabIndex, const RECT& Rect, bool Active)>
    TDrawTabEvent;
typedef std::function<void(TObject* Sender, int32_t TabIndex, int32_t& ImageIndex)> TTabGetImageEvent;

// The captions, images and objects of the tabs, stored in the system tab control itself. While
// the control has no window (it is being re-created, or has no parent yet) they are kept aside.
class TKWTabStrings : public TStrings {
public:
    KW_CLASS_NAME(TKWTabStrings)
    explicit TKWTabStrings(TKWCustomTabControl* AControl) : FTabControl(AControl) {}

    int32_t GetCount() const override;
    std::wstring GetStrings(int32_t Index) const override;
    void SetStrings(int32_t Index, const std::wstring& S) override;
    TObject* GetObjects(int32_t Index) const override;
    void SetObjects(int32_t Index, TObject* AObject) override;
    void Insert(int32_t Index, const std::wstring& S) override;
    void Delete(int32_t Index) override;
    void Clear() override;

    // The update bracket: redrawing is off inside it.
    void BeginUpdate();
    void EndUpdate();
    void Move(int32_t CurIndex, int32_t NewIndex);

private:
    bool Saved() const;
    void SetUpdateState(bool Updating);
    TKWCustomTabControl* FTabControl;
    int32_t FUpdateCount = 0;
};

class TKWCustomTabControl : public TWinControl {
public:
    KW_CLASS_NAME(TKWCustomTabControl)
    explicit TKWCustomTabControl(TComponent* AOwner);
    ~TKWCustomTabControl() override;

    TKWTabStrings* Tabs() const { return FTabs.get(); }
    void SetTabs(const TStrings* AValue) { FTabs->Assign(AValue); }
    // The selected tab, -1 when none.
    int32_t TabIndex();
    virtual void SetTabIndex(int32_t AValue);

    bool HotTrack() const { return FHotTrack; }
    void SetHotTrack(bool AValue);
    bool MultiLine() const { return FMultiLine; }
    void SetMultiLine(bool AValue);
    bool MultiSelect() const { return FMultiSelect; }
    void SetMultiSelect(bool AValue);
    bool OwnerDraw() const { return FOwnerDraw; }
    void SetOwnerDraw(bool AValue);
    bool RaggedRight() const { return FRaggedRight; }
    void SetRaggedRight(bool AValue);
    bool ScrollOpposite() const { return FScrollOpposite; }
    void SetScrollOpposite(bool AValue);
    TKWTabStyle Style() const { return FStyle; }
    virtual void SetStyle(TKWTabStyle AValue);
    TKWTabPosition TabPosition() const { return FTabPosition; }
    void SetTabPosition(TKWTabPosition AValue);
    int16_t TabWidth() const { return FTabSize.cx; }
    void SetTabWidth(int16_t AValue);
    int16_t TabHeight() const { return FTabSize.cy; }
    void SetTabHeight(int16_t AValue);
    // An image list (not owned); its handle goes to the system control.
    HIMAGELIST Images() const { return FImages; }
    void SetImages(HIMAGELIST AValue);
    TPicture* Picture() const { return FPicture.get(); }
    void SetPicture(const TPicture* AValue);

    bool CloseBtn() const { return FCloseBtn; }
    void SetCloseBtn(bool AValue);
    bool SmallCloseBtn() const { return FSmallCloseBtn; }
    void SetSmallCloseBtn(bool AValue);
    bool Flat() const { return FFlat; }
    void SetFlat(bool AValue);
    bool TabDragDrop() const { return FTabDragDrop; }
    void SetTabDragDrop(bool AValue) { FTabDragDrop = AValue; }
    bool TabFillGradient() const { return FTabFillGradient; }
    void SetTabFillGradient(bool AValue);

    // The page area: what child controls may occupy.
    RECT DisplayRect();
    // The rectangle of tab AIndex as the system control reports it (empty when it has none).
    RECT TabRect(int32_t AIndex);
    // The tab under a client point, -1 when none.
    int32_t IndexOfTabAt(int32_t X, int32_t Y);
    // Sets every tab's image again from GetImageIndex.
    void UpdateTabImages();
    // The tab's drawing canvas while owner-drawn tabs are painted.
    TCanvas* Canvas() const { return FCanvas.get(); }
    bool Updating() const { return FUpdating; }

    TNotifyEvent OnChange;
    TTabChangingEvent OnChanging;
    TDrawTabEvent OnDrawTab;
    TTabGetImageEvent OnGetImageIndex;

protected:
    friend class TKWTabStrings;
    virtual bool CanShowTab(int32_t AIndex) { return true; }
    virtual void DrawTab(int32_t AIndex, const RECT& ARect, bool AActive);
    virtual int32_t GetImageIndex(int32_t AIndex);
    // Asks OnChanging; True unless it forbids the change.
    virtual bool CanChange();
    // The change notification after the selection changed.
    virtual void Change();
    // After any change to the tabs: the system control re-lays out and the children re-align.
    void TabsChanged();

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void AdjustClientRect(RECT& Rect) override;
    void WndProc(TMessage& Message) override;
    void CNNotify(TMessage& Message) override;
    void CNDrawItem(TMessage& Message) override;
    void CMDialogChar(TMessage& Message) override;
    void CMFontChanged(TMessage& Message) override;
    void CMSysColorChange(TMessage& Message) override;
    void CMTabStopChanged(TMessage& Message) override;
    void WMSize(TMessage& Message) override;
    void WMPaint(TMessage& Message) override;

    bool FInUpdateActive = false;

private:
    struct TSavedTab {
        std::wstring Caption;
        TObject* Object;
    };
    void SendItemSize();
    void SetStyleBit(LONG ABit, bool AOn);
    void DrawPicture(HDC ADC);

    std::unique_ptr<TKWTabStrings> FTabs;
    std::unique_ptr<TCanvas> FCanvas;
    HIMAGELIST FImages = nullptr;
    bool FHotTrack = false, FMultiLine = false, FMultiSelect = false, FOwnerDraw = false;
    bool FRaggedRight = false, FScrollOpposite = false;
    TKWTabStyle FStyle = tsTabs;
    TKWTabPosition FTabPosition = tpTop;
    struct {
        int16_t cx = 0, cy = 0;
    } FTabSize;
    bool FUpdating = false;
    // The tabs while the control has no window, and the tab selected then.
    std::unique_ptr<std::vector<TSavedTab>> FSaveTabs;
    int32_t FSaveTabIndex = -1;
    RECT FSavedAdjustRect{0, 0, 0, 0};
    bool FCloseBtn = false, FSmallCloseBtn = true, FFlat = false, FTabDragDrop = false, FTabFillGradient = false;
    std::unique_ptr<TPicture> FPicture;
};

// ---------------------------------------------------------------------------------------------
// Page control and tab sheets
// ---------------------------------------------------------------------------------------------

class TKWPageControl;
class TKWTabSheet;

// The colours of one sheet and its tab.
class TKWTabColors : public TPersistent {
public:
    KW_CLASS_NAME(TKWTabColors)
    explicit TKWTabColors(TKWTabSheet* ASheet) : FSheet(ASheet) {}
    void Assign(const TPersistent* Source) override;

    // The sheet's background; clNone keeps the default background.
    TColor Color() const { return FColor; }
    void SetColor(TColor AValue);
    TColor ActiveFontColor() const { return FActiveFontColor; }
    void SetActiveFontColor(TColor AValue);
    TColor InActiveFontColor() const { return FInActiveFontColor; }
    void SetInActiveFontColor(TColor AValue);
    TColor ActiveFill1() const { return FActiveFill1; }
    void SetActiveFill1(TColor AValue);
    TColor ActiveFill2() const { return FActiveFill2; }
    void SetActiveFill2(TColor AValue);
    TColor InActivefill1() const { return FInActivefill1; }
    void SetInActivefill1(TColor AValue);
    TColor InActivefill2() const { return FInActivefill2; }
    void SetInActivefill2(TColor AValue);

private:
    void SetTabColor(TColor& AField, TColor AValue);
    TKWTabSheet* FSheet;
    TColor FColor = clNone;
    TColor FActiveFontColor = clCaptionText;
    TColor FInActiveFontColor = clInactiveCaptionText;
    TColor FActiveFill1 = clActiveCaption;
    TColor FActiveFill2 = clGradientActiveCaption;
    TColor FInActivefill1 = clInactiveCaption;
    TColor FInActivefill2 = clGradientInactiveCaption;
};

// One page of a page control: fills the page area, accepts child controls, shown only while it
// is the active page.
class TKWTabSheet : public TWinControl {
public:
    KW_CLASS_NAME(TKWTabSheet)
    explicit TKWTabSheet(TComponent* AOwner);
    ~TKWTabSheet() override;

    TKWPageControl* PageControl() const { return FPageControl; }
    // Moves the sheet into or out of a page control.
    void SetPageControl(TKWPageControl* APageControl);
    // A page control as parent makes the sheet one of its pages.
    void SetParent(TWinControl* AParent) override;

    bool TabVisible() const { return FTabVisible; }
    void SetTabVisible(bool AValue);
    bool TabShowing() const { return FTabShowing; }
    // -1 when its tab is not showing, else the number of sheets before it whose tabs show.
    int32_t TabIndex() const;
    int32_t PageIndex() const;
    // Raises EListError for a value above the last page index.
    void SetPageIndex(int32_t AValue);
    bool Highlighted() const { return FHighlighted; }
    void SetHighlighted(bool AValue);
    int32_t ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int32_t AValue);
    TKWTabColors* Colors() const { return FColors.get(); }
    void SetColors(const TKWTabColors* AValue) { FColors->Assign(AValue); }
    bool ChildControlEnabled() const { return FChildControlEnabled; }
    void SetChildControlEnabled(bool AValue);

    TNotifyEvent OnShow;
    TNotifyEvent OnHide;

protected:
    friend class TKWPageControl;
    friend class TKWTabColors;
    void UpdateTabShowing();
    void SetTabShowing(bool AValue);
    void CMEnabledChanged(TMessage& Message) override;
    void CMVisibleChanged(TMessage& Message) override;
    void CMTextChanged(TMessage& Message) override;
    void CMShowingChanged(TMessage& Message) override;
    void AlignControls(TControl* AControl, RECT& Rect) override;
    void WMEraseBkgnd(TMessage& Message) override;
    void WMPrintClient(TMessage& Message) override;

private:
    void DoShow();
    void DoHide();

    TKWPageControl* FPageControl = nullptr;
    bool FTabVisible = true;
    bool FTabShowing = false;
    bool FHighlighted = false;
    int32_t FImageIndex = 0;
    bool FChildControlEnabled = true;
    std::unique_ptr<TKWTabColors> FColors;
};

typedef std::function<void(TObject* Sender, int32_t TabIndex, bool& CanClose)> TKWTabCloseEvent;
typedef std::function<void(TObject* Sender, int32_t TabIndex)> TKWTabIndexEvent;
typedef std::function<void(TObject* Sender, TObject* Source, int32_t X, int32_t Y, bool& Accept)> TKWDragOverEvent;
typedef std::function<void(TObject* Sender, TObject* Source, int32_t X, int32_t Y)> TKWDragDropEvent;

class TKWPageControl : public TKWCustomTabControl {
public:
    KW_CLASS_NAME(TKWPageControl)
    explicit TKWPageControl(TComponent* AOwner);
    ~TKWPageControl() override;

    TKWTabSheet* GetPage(int32_t AIndex) const;
    int32_t GetPageCount() const { return (int32_t)FPages.size(); }
    TKWTabSheet* ActivePage() const { return FActivePage; }
    // A sheet of another page control is ignored.
    void SetActivePage(TKWTabSheet* APage);
    // Selects tab AValue; outside an ActivePage write the page of that tab becomes active.
    void SetTabIndex(int32_t AValue) override;
    void SetStyle(TKWTabStyle AValue) override;
    // The next page from ACurrent (wrapping), nullptr when none qualifies.
    TKWTabSheet* FindNextPage(TKWTabSheet* ACurrent, bool AGoForward, bool ACheckTabVisible);
    void SelectNextPage(bool AGoForward, bool ACheckTabVisible = true);
    // The page whose tab is selected becomes active (none when no tab is selected).
    virtual void UpdateActivePage();

    bool HideAllTab() const { return FHideAllTab; }
    void SetHideAllTab(bool AValue);
    bool ChildControlEnabled() const { return FChildControlEnabled; }
    void SetChildControlEnabled(bool AValue);
    bool DisableEraseBkGnd = false;
    // The close-button area of tab AIndex.
    RECT GetCloseBtnRect(int32_t AIndex);
    bool CloseHot() const { return FCloseHot; }

    // Docking of forms as pages. DockForm places the form on a new sheet; UndockForm takes it off
    // again (onto ANewParent, or floating when none) and frees its sheet. A docked form reports
    // caption and visibility changes through DockClientChanged.
    void DockForm(TCustomForm* AForm);
    void UndockForm(TCustomForm* AForm, TWinControl* ANewParent = nullptr);
    // Offered as a dock site only to forms not already docked here.
    bool IsDockSiteFor(TCustomForm* AForm) const;
    // The sheet that holds a docked form, or nullptr.
    TKWTabSheet* SheetOfForm(TCustomForm* AForm) const;
    // A docked form's caption (CM_TEXTCHANGED) or visibility (CM_VISIBLECHANGED) changed.
    void DockClientChanged(TCustomForm* AForm, UINT AMsg);

    TKWTabCloseEvent OnTabClose;
    TKWTabIndexEvent OnTabClick;
    TKWTabIndexEvent OnTabDelete;
    TKWDragOverEvent OnDragOver;
    TKWDragDropEvent OnDragDrop;

protected:
    friend class TKWTabSheet;
    void InsertPage(TKWTabSheet* APage);
    void RemovePage(TKWTabSheet* APage);
    void InsertTab(TKWTabSheet* APage);
    void DeleteTab(TKWTabSheet* APage, int32_t AIndex);
    void MoveTab(int32_t ACurIndex, int32_t ANewIndex);
    void ChangeActivePage(TKWTabSheet* APage);

    bool CanShowTab(int32_t AIndex) override;
    void DrawTab(int32_t AIndex, const RECT& ARect, bool AActive) override;
    int32_t GetImageIndex(int32_t AIndex) override;
    void Change() override;
    void ShowControl(TControl* AControl) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void DblClick() override;
    void CMDialogKey(TMessage& Message) override;
    void CMEnabledChanged(TMessage& Message) override;
    void WMEraseBkgnd(TMessage& Message) override;

private:
    TKWTabSheet* PageOfTab(int32_t ATabIndex) const;
    bool DragOver(TObject* ASource, int32_t X, int32_t Y);
    void DragDrop(TObject* ASource, int32_t X, int32_t Y);
    void DrawTabText(const RECT& ATextRect, const std::wstring& AText, bool AActive, POINT& ATextPos,
                     SIZE& ATextSize);

    std::vector<TKWTabSheet*> FPages;
    TKWTabSheet* FActivePage = nullptr;
    bool FInSetActivePage = false;
    bool FHideAllTab = false;
    TKWTabStyle FSavedStyle = tsTabs;
    TKWTabPosition FSavedTabPosition = tpTop;
    bool FChildControlEnabled = true;
    bool FCloseHot = false;
    bool FDragging = false;
    struct TDockedForm {
        TCustomForm* Form;
        TKWTabSheet* Sheet;
        bool Visible;   // as last seen
    };
    void CheckDockedForms();
    void BindDockedWindows();
    void UnbindDockedWindow(const TDockedForm& ADocked);
    std::vector<TDockedForm> FDocked;
    TKWTabSheet* FNewDockSheet = nullptr;
    TKWTabSheet* FUndockingPage = nullptr;
};

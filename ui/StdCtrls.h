// The standard controls over the system's window classes (push button, check box, edit box,
// memo, combo box) and the label, a control without a window.
#pragma once
#include <memory>
#include <string>

#include "Controls.h"
#include "Forms.h"

// A push button ("BUTTON"): clicks arrive as reflected BN_CLICKED notifications.
class TButton : public TWinControl {
public:
    KW_CLASS_NAME(TButton)
    explicit TButton(TComponent* AOwner);

    void Click() override;
    // The button that Enter presses while the focus is on a control that is not a button.
    bool Default() const { return FDefault; }
    void SetDefault(bool value);
    // The button that Escape presses.
    bool Cancel = false;
    // Set on the parent form when clicked (closes a modal form).
    TModalResult ModalResult = mrNone;

protected:
    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    // Tells the button whether it is now the form's default button.
    virtual void SetButtonStyle(bool ADefault);
    void CNCommand(TMessage& Message) override;
    void CMDialogKey(TMessage& Message) override;
    void CMFocusChanged(TMessage& Message) override;
    bool Active() const { return FActive; }

private:
    bool FDefault = false;
    bool FActive = false;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// A check box ("BUTTON", three-state style with the state kept here). Every change of the
// state, by the user or by the program, runs OnClick.
class TCheckBox : public TWinControl {
public:
    KW_CLASS_NAME(TCheckBox)
    explicit TCheckBox(TComponent* AOwner);

    bool Checked() const { return FState == cbChecked; }
    void SetChecked(bool value) { SetState(value ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const { return FState; }
    void SetState(TCheckBoxState value);
    bool AllowGrayed = false;
    // taRightJustify (the default) puts the text right of the box.
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);

protected:
    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void CNCommand(TMessage& Message) override;
    virtual void Toggle();

private:
    TCheckBoxState FState = cbUnchecked;
    TAlignment FAlignment = taRightJustify;
};

// The edit box ("EDIT").
class TCustomEdit : public TWinControl {
public:
    KW_CLASS_NAME(TCustomEdit)
    explicit TCustomEdit(TComponent* AOwner);

    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle value);
    void SetText(const std::wstring& value) override;

    TNotifyEvent OnChange;

protected:
    void CreateParams(TCreateParams& Params) override;
    void CNCommand(TMessage& Message) override;
    void CMCtl3DChanged(TMessage& Message) override;
    virtual void Change();

private:
    bool FReadOnly = false;
    TBorderStyle FBorderStyle = bsSingle;
};

class TEdit : public TCustomEdit {
public:
    KW_CLASS_NAME(TEdit)
    using TCustomEdit::TCustomEdit;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TMemo;

// The lines of a memo: its text split at CR LF.
class TMemoStrings : public TStrings {
public:
    KW_CLASS_NAME(TMemoStrings)
    explicit TMemoStrings(TMemo* memo) : FMemo(memo) {}
    int32_t GetCount() const override;
    std::wstring GetStrings(int32_t Index) const override;
    void SetStrings(int32_t Index, const std::wstring& S) override;
    TObject* GetObjects(int32_t Index) const override;
    void SetObjects(int32_t Index, TObject* AObject) override {}
    void Insert(int32_t Index, const std::wstring& S) override;
    void Delete(int32_t Index) override;
    void Clear() override;

private:
    std::vector<std::wstring> Split() const;
    void Join(const std::vector<std::wstring>& lines);
    TMemo* FMemo;
};

// A multi-line edit box.
class TMemo : public TCustomEdit {
public:
    KW_CLASS_NAME(TMemo)
    explicit TMemo(TComponent* AOwner);
    ~TMemo() override;

    TStrings* Lines() const { return FLines.get(); }
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    bool WantReturns = true;
    bool WantTabs = false;

protected:
    void CreateParams(TCreateParams& Params) override;
    void WndProc(TMessage& Message) override;

private:
    std::unique_ptr<TMemoStrings> FLines;
    TScrollStyle FScrollBars = ssNone;
    bool FWordWrap = true;
};

enum TComboBoxStyle { csDropDown, csDropDownList };

class TComboBox;

// The items of a combo box: kept here and mirrored into the window while it exists.
class TComboBoxStrings : public TStrings {
public:
    KW_CLASS_NAME(TComboBoxStrings)
    explicit TComboBoxStrings(TComboBox* combo) : FCombo(combo) {}
    int32_t GetCount() const override { return FList.GetCount(); }
    std::wstring GetStrings(int32_t Index) const override { return FList.GetStrings(Index); }
    void SetStrings(int32_t Index, const std::wstring& S) override;
    TObject* GetObjects(int32_t Index) const override { return FList.GetObjects(Index); }
    void SetObjects(int32_t Index, TObject* AObject) override { FList.SetObjects(Index, AObject); }
    void Insert(int32_t Index, const std::wstring& S) override;
    void Delete(int32_t Index) override;
    void Clear() override;

private:
    friend class TComboBox;
    TComboBox* FCombo;
    TStringList FList;
};

// A combo box ("COMBOBOX"), drop-down with an edit field or a drop-down list.
class TComboBox : public TWinControl {
public:
    KW_CLASS_NAME(TComboBox)
    explicit TComboBox(TComponent* AOwner);
    ~TComboBox() override;

    TStrings* Items() const { return FItems.get(); }
    int32_t ItemIndex() const;
    void SetItemIndex(int32_t value);
    TComboBoxStyle Style() const { return FStyle; }
    void SetStyle(TComboBoxStyle value);
    int32_t DropDownCount = 8;
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

    TNotifyEvent OnChange;

protected:
    friend class TComboBoxStrings;
    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void CNCommand(TMessage& Message) override;
    virtual void Change();

private:
    int32_t ListHeight() const;
    std::unique_ptr<TComboBoxStrings> FItems;
    TComboBoxStyle FStyle = csDropDown;
    int32_t FItemIndex = -1;
};

enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TEllipsisPosition { epNone, epPathEllipsis, epEndEllipsis, epWordEllipsis };

// A text label, painted by its parent. Sizes itself to its text while AutoSize is on.
class TCustomLabel : public TGraphicControl {
public:
    KW_CLASS_NAME(TCustomLabel)
    explicit TCustomLabel(TComponent* AOwner);

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    bool ShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool value);
    TTextLayout Layout() const { return FLayout; }
    void SetLayout(TTextLayout value);
    TEllipsisPosition EllipsisPosition() const { return FEllipsisPosition; }
    void SetEllipsisPosition(TEllipsisPosition value);

protected:
    void Paint() override;
    // Draws (or, with DT_CALCRECT, measures into Rect) the label's text on the canvas.
    virtual void DoDrawText(RECT& Rect, UINT Flags);
    // Fits the bounds to the text while AutoSize is on.
    virtual void AdjustBounds();
    virtual std::wstring GetLabelText() { return GetText(); }
    void CMTextChanged(TMessage& Message) override;
    void CMFontChanged(TMessage& Message) override;

private:
    TAlignment FAlignment = taLeftJustify;
    bool FAutoSize = true;
    bool FWordWrap = false;
    bool FTransparent = false;
    bool FShowAccelChar = true;
    TTextLayout FLayout = tlTop;
    TEllipsisPosition FEllipsisPosition = epNone;
};

class TLabel : public TCustomLabel {
public:
    KW_CLASS_NAME(TLabel)
    using TCustomLabel::TCustomLabel;
};

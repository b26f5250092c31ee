// Forms and the application object: the top-level windows, modal showing and closing, focus
// between the controls of a form, dialog keys, and the message loop with its exception display.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Controls.h"

enum TFormBorderStyle { bsSizeable = 2, bsDialog = 3, bsToolWindow = 4 };   // with bsNone, bsSingle
enum TBorderIcon : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };
typedef uint8_t TBorderIcons;
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter, poMainFormCenter };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

typedef int32_t TModalResult;
constexpr TModalResult mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrAbort = IDABORT, mrRetry = IDRETRY,
                       mrIgnore = IDIGNORE, mrYes = IDYES, mrNo = IDNO;

typedef std::function<void(TObject* Sender, bool& CanClose)> TCloseQueryEvent;
typedef std::function<void(TObject* Sender, TCloseAction& Action)> TCloseEvent;

// Posted to a form that Release asked to free itself.
constexpr UINT CM_RELEASE = CM_BASE + 33;

class TCustomForm : public TWinControl {
public:
    KW_CLASS_NAME(TCustomForm)
    explicit TCustomForm(TComponent* AOwner);
    ~TCustomForm() override;

    void WndProc(TMessage& Message) override;

    // bsNone, bsSingle, bsSizeable, bsDialog or bsToolWindow.
    int32_t BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(int32_t value);
    TBorderIcons BorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(TBorderIcons value);
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition value) { FPosition = value; }

    RECT GetClientRect() override;

    // The control that has (or gets, when the form is activated) the focus.
    TWinControl* ActiveControl() const { return FActiveControl; }
    void SetActiveControl(TWinControl* Control);
    // The form's window is the active window.
    bool Active() const { return FActive; }
    // Called when a control of the form receives the focus; false refuses it.
    virtual bool SetFocusedControl(TWinControl* Control);
    void FocusControl(TWinControl* Control);
    void DefocusControl(TWinControl* Control, bool Removing);

    // Shows the form and runs messages until ModalResult is set; returns it.
    virtual int32_t ShowModal();
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult value) { FModalResult = value; }
    bool IsModal() const { return FModal; }
    void Close();
    virtual bool CloseQuery();
    // Frees the form once the messages now queued for it are handled.
    void Release();

    // Runs OnCreate (the application does this once the form is constructed).
    virtual void DoCreate();

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TCloseQueryEvent OnCloseQuery;
    TCloseEvent OnClose;

protected:
    void CreateParams(TCreateParams& Params) override;
    void CMShowingChanged(TMessage& Message) override;
    void CMDialogKey(TMessage& Message) override;
    virtual void DoShow();
    virtual void DoHide();
    virtual void DoClose(TCloseAction& Action);
    void SetWindowFocus();

private:
    void CloseModal();
    void PlaceOnScreen();

    int32_t FBorderStyle = bsSizeable;
    TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
    TPosition FPosition = poDesigned;
    TWinControl* FActiveControl = nullptr;
    TWinControl* FFocusedControl = nullptr;
    TModalResult FModalResult = mrNone;
    bool FModal = false;
    bool FActive = false;
    bool FPlaced = false;
};

class TForm : public TCustomForm {
public:
    KW_CLASS_NAME(TForm)
    using TCustomForm::TCustomForm;
};

typedef std::function<void(MSG& Msg, bool& Handled)> TMessageEvent;
typedef std::function<void(TObject* Sender, Exception& E)> TExceptionEvent;
// A hook on the application window: true marks the message as handled (its Result is returned).
typedef std::function<bool(TMessage& Message)> TWindowHook;

// The application: a hidden top-level window that carries the title (the taskbar text and the
// owner of the forms), the main form, and the message loop.
class TApplication : public TComponent {
public:
    KW_CLASS_NAME(TApplication)
    explicit TApplication(TComponent* AOwner);
    ~TApplication() override;

    HWND Handle();
    // The title; when none is set, the program's file name without its extension.
    std::wstring Title() const;
    void SetTitle(const std::wstring& value);
    TCustomForm* MainForm() const { return FMainForm; }
    bool Terminated() const { return FTerminated; }
    bool ShowMainForm = true;

    void Initialize() {}
    // Creates a form owned by the application; the first one becomes the main form.
    template <class T>
    void CreateForm(T*& Reference) {
        T* form = new T(this);
        Reference = form;
        if (!FMainForm) {
            form->HandleNeeded();
            FMainForm = form;
        }
        form->DoCreate();
    }
    // Shows the main form and runs the message loop until Terminate.
    void Run();
    // Handles every message now queued.
    void ProcessMessages();
    // Handles one message, or waits for one when none is queued.
    void HandleMessage();
    // One step of the loop: false when no message was queued.
    bool ProcessMessage(MSG& Msg);
    // Ends the message loop (posts the quit message).
    void Terminate();

    // The default handling of the exception being handled: OnException, or the exception box
    // (the message with a final "." added when it ends in a character above ".", the title as
    // caption, the error icon and an OK button). EAbort is silent. Never raises.
    void HandleException(TObject* Sender);
    void ShowException(const Exception& E);
    int32_t MessageBox(const std::wstring& Text, const std::wstring& Caption, UINT Flags);

    // Hooks on the application window's messages; the result identifies the hook for removal.
    int32_t HookMainWindow(TWindowHook Hook);
    void UnhookMainWindow(int32_t Id);

    // The tests of one loop step, in the order the step asks them.
    bool IsPreProcessMessage(MSG& Msg) { return false; }
    bool IsHintMsg(MSG& Msg) { return false; }
    bool IsMDIMsg(MSG& Msg) { return false; }
    bool IsKeyMsg(MSG& Msg);
    bool IsDlgMsg(MSG& Msg) { return false; }

    TMessageEvent OnMessage;
    TExceptionEvent OnException;
    TNotifyEvent OnIdle;

private:
    friend class TCustomForm;
    friend LRESULT CALLBACK KWAppWndProc(HWND, UINT, WPARAM, LPARAM);
    void CreateHandle();
    LRESULT AppWndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    void Idle();
    void FormDestroyed(TCustomForm* form);

    HWND FHandle = nullptr;
    std::wstring FTitle;
    TCustomForm* FMainForm = nullptr;
    bool FTerminated = false;
    std::vector<std::pair<int32_t, TWindowHook>> FHooks;
    int32_t FNextHookId = 1;
};

// The application object: made before any start-up code of the program runs.
extern TApplication* Application;

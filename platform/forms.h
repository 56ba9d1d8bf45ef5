// A small component framework over platform::Windowing. Windows are classes whose child
// components are declared in one place and whose behaviour lives in one handler per event.
// Every handler runs through Application::Guard, so an error ends the handler it arose in and
// is shown in the application's error box; the event loop then carries on.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace lumarel::platform {

class Form;

enum class MouseButton { Left, Right, Middle };
enum class Align { None, Client };

class Control : public EventSink {
public:
    Control(Control* parent, ControlKind kind, std::string name);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const { return name_; }
    ControlKind Kind() const { return kind_; }
    Control* Parent() const { return parent_; }
    const std::vector<Control*>& Children() const { return children_; }
    Form* OwnerForm();
    WindowHandle Handle() const { return handle_; }

    // Properties; they can be set before and after the native window exists.
    Rect Bounds() const { return bounds_; }
    void SetBounds(const Rect& r);
    int Left() const { return bounds_.left; }
    int Top() const { return bounds_.top; }
    int Width() const { return bounds_.width; }
    int Height() const { return bounds_.height; }
    // Where the native window goes, in the parent's client coordinates. A host (the player)
    // may be laid out larger than its parent, a movie bigger than the screen: its window is
    // then only the part inside the parent, so nothing beyond the screen is ever made or drawn.
    Rect NativeBounds() const;
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    std::string Text() const;
    void SetText(const std::string& text);
    std::uint32_t Color() const { return color_; }
    void SetColor(std::uint32_t rgb);
    int TabOrder() const { return tabOrder_; }
    void SetTabOrder(int order) { tabOrder_ = order; }
    Align Alignment() const { return align_; }
    // Client alignment fills the parent's client area now and whenever the parent resizes.
    void SetAlign(Align a);
    void SetFocus();

    // Event handlers (any may be empty).
    std::function<void(int x, int y)> OnMouseMove;
    std::function<void(MouseButton button, int x, int y)> OnMouseDown;
    std::function<void(unsigned key)> OnKeyDown;
    std::function<void()> OnClick;

    // Creates the native window of this control and of all its children.
    void CreateHandle();
    void DestroyHandle();

    void HandleEvent(const Event& event) override;

protected:
    virtual void FillSpec(WindowSpec& spec);
    virtual void AfterCreate() {}
    virtual void HandleMessage(const Message& m);
    virtual void HandleTimer(std::uintptr_t /*id*/) {}
    virtual void HandlePaint() {}
    virtual void HandleResize() {}
    void RealignChildren();

    std::string name_;
    ControlKind kind_;
    Control* parent_;
    std::vector<Control*> children_;
    WindowHandle handle_ = 0;
    Rect bounds_;
    bool visible_ = true;
    std::string text_;
    std::uint32_t color_ = 0xFFFFFFFFu;
    int tabOrder_ = -1;
    Align align_ = Align::None;
};

class Panel : public Control {
public:
    Panel(Control* parent, std::string name) : Control(parent, ControlKind::Panel, std::move(name)) {}
};

class Label : public Control {
public:
    Label(Control* parent, std::string name) : Control(parent, ControlKind::Label, std::move(name)) {}
};

class Edit : public Control {
public:
    Edit(Control* parent, std::string name) : Control(parent, ControlKind::Edit, std::move(name)) {}
};

class CheckBox : public Control {
public:
    CheckBox(Control* parent, std::string name) : Control(parent, ControlKind::CheckBox, std::move(name)) {}
    bool Checked() const;
    void SetChecked(bool checked);

private:
    void AfterCreate() override;
    bool checked_ = false;
};

class Button : public Control {
public:
    Button(Control* parent, std::string name) : Control(parent, ControlKind::Button, std::move(name)) {}
};

class SpeedButton : public Control {
public:
    SpeedButton(Control* parent, std::string name) : Control(parent, ControlKind::SpeedButton, std::move(name)) {}
};

class Bevel : public Control {
public:
    Bevel(Control* parent, std::string name) : Control(parent, ControlKind::Bevel, std::move(name)) {}
};

class Form : public Control {
public:
    explicit Form(std::string name);
    ~Form() override;

    std::string Caption() const { return Text(); }
    void SetCaption(const std::string& c) { SetText(c); }
    BorderStyle Border() const { return border_; }
    void SetBorder(BorderStyle b) { border_ = b; }
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool on) { keyPreview_ = on; }
    void SetTopmost(bool on) { topmost_ = on; }
    void SetHideCursor(bool on) { hideCursor_ = on; }
    void SetFont(const FontSpec& f) { font_ = f; }
    const FontSpec& Font() const { return font_; }
    // Centre the form on the screen when it is shown.
    void SetCenterOnShow(bool on) { centerOnShow_ = on; }
    // The control that has the focus when the form is shown.
    void SetActiveControl(Control* c) { activeControl_ = c; }

    std::function<void()> OnCreate;
    std::function<void()> OnShow;
    std::function<void()> OnActivate;
    std::function<void()> OnClose;
    // Handlers for private window messages (msg::User and up) sent to the form.
    std::map<std::uint32_t, std::function<void(const Message&)>> MessageHandlers;

    void SetVisible(bool visible) override;
    void Show() { SetVisible(true); }
    // Asks the form to close: OnClose runs once; closing the main form ends the event loop.
    void Close();
    bool Closed() const { return closed_; }

protected:
    void FillSpec(WindowSpec& spec) override;
    void HandleMessage(const Message& m) override;

private:
    friend class Control;
    BorderStyle border_ = BorderStyle::Sizeable;
    bool keyPreview_ = false;
    bool topmost_ = false;
    bool hideCursor_ = false;
    bool centerOnShow_ = false;
    bool closed_ = false;
    Control* activeControl_ = nullptr;
    FontSpec font_;
};

class Application {
public:
    static Application& Instance();

    // Executable file name up to its first ".", every character after the first in lower case.
    std::string Title();
    static std::string TitleFromPath(const std::string& exePath);
    // The error box text: the message with "." appended unless its last character is "." or
    // sorts below it.
    static std::string ErrorText(const std::string& message);

    void Initialize();
    // Creates the form's windows and runs its OnCreate; the first form created is the main form.
    void CreateForm(Form& form);
    Form* MainForm() const { return mainForm_; }
    // Shows the main form (if it is not yet visible) and runs the loop until it closes.
    void Run();
    // Handles every message now queued, then returns.
    void ProcessMessages();
    // One step of the loop: one message, or (with none queued) an idle pass and a wait.
    void HandleMessage();
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }

    // Runs f; an error it raises is shown in the error box instead of travelling on.
    void Guard(const std::function<void()>& f);
    void ShowException(const std::exception& e);
    // The text the error box holds for an error (before ErrorText's full stop).
    static std::string UserText(const std::exception& e);

    // Application-wide hooks (the application-events component sets these).
    std::function<void(bool& done)> OnIdle;
    std::function<void(Message& m, bool& handled)> OnMessage;
    const void* eventsOwner = nullptr;  // the component that set the two hooks

    // Back to the state of a new process (tests).
    void Reset();

private:
    bool ProcessMessage();
    void Idle();

    Form* mainForm_ = nullptr;
    bool terminated_ = false;
};

// The application-wide event hook as a component of a form.
class ApplicationEvents {
public:
    ApplicationEvents() = default;
    ~ApplicationEvents();
    std::function<void(bool& done)> OnIdle;
    std::function<void(Message& m, bool& handled)> OnMessage;
    // Connects the handlers to the application.
    void Attach();
};

}  // namespace lumarel::platform

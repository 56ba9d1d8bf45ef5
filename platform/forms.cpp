#include "platform/forms.h"

#include <algorithm>
#include <new>

namespace lumarel::platform {

namespace {

Windowing& Ui() { return *Current().windowing; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Control

Control::Control(Control* parent, ControlKind kind, std::string name)
    : name_(std::move(name)), kind_(kind), parent_(parent) {
    if (parent_) parent_->children_.push_back(this);
}

Control::~Control() {
    DestroyHandle();
    if (parent_) {
        auto& siblings = parent_->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    for (Control* c : children_) c->parent_ = nullptr;
}

Form* Control::OwnerForm() {
    Control* c = this;
    while (c->parent_) c = c->parent_;
    return c->kind_ == ControlKind::Form ? static_cast<Form*>(c) : nullptr;
}

void Control::SetBounds(const Rect& r) {
    bounds_ = r;
    if (handle_) Ui().SetBounds(handle_, NativeBounds());
    RealignChildren();
    HandleResize();
}

Rect Control::NativeBounds() const {
    if (kind_ != ControlKind::Host || !parent_) return bounds_;
    // Widened to 64 bits: a movie's frame may be up to 2^31 - 1 twips across.
    auto clip = [](int start, int length, int limit, int& outStart, int& outLength) {
        const long long from = std::clamp<long long>(start, 0, std::max(limit, 0));
        const long long to =
            std::clamp<long long>(static_cast<long long>(start) + std::max(length, 0), from, std::max(limit, 0));
        outStart = static_cast<int>(from);
        outLength = static_cast<int>(to - from);
    };
    Rect r;
    clip(bounds_.left, bounds_.width, parent_->Width(), r.left, r.width);
    clip(bounds_.top, bounds_.height, parent_->Height(), r.top, r.height);
    return r;
}

void Control::SetVisible(bool visible) {
    visible_ = visible;
    if (handle_) Ui().SetVisible(handle_, visible);
}

std::string Control::Text() const {
    if (handle_ && kind_ == ControlKind::Edit) return Ui().GetText(handle_);
    return text_;
}

void Control::SetText(const std::string& text) {
    text_ = text;
    if (handle_) Ui().SetText(handle_, text);
}

void Control::SetColor(std::uint32_t rgb) {
    color_ = rgb;
    if (handle_) Ui().SetColor(handle_, rgb);
}

void Control::SetAlign(Align a) {
    align_ = a;
    if (a == Align::Client && parent_) {
        Rect area{0, 0, parent_->Width(), parent_->Height()};
        SetBounds(area);
    }
}

void Control::RealignChildren() {
    for (Control* c : children_) {
        if (c->align_ == Align::Client) {
            c->SetBounds(Rect{0, 0, bounds_.width, bounds_.height});
        } else if (c->kind_ == ControlKind::Host) {
            c->SetBounds(c->bounds_);  // clipped anew to this control's new size
        }
    }
}

void Control::SetFocus() {
    if (handle_) Ui().SetFocus(handle_);
}

void Control::FillSpec(WindowSpec& spec) {
    spec.kind = kind_;
    spec.parent = parent_ ? parent_->handle_ : 0;
    spec.bounds = NativeBounds();
    spec.text = text_;
    spec.visible = visible_;
    spec.tabOrder = tabOrder_;
    spec.color = color_;
    if (Form* f = OwnerForm()) {
        spec.font = f->Font();
        spec.hideCursor = f->hideCursor_;
    }
    spec.sink = this;
}

void Control::CreateHandle() {
    if (handle_) return;
    WindowSpec spec;
    FillSpec(spec);
    handle_ = Ui().CreateControl(spec);
    AfterCreate();
    for (Control* c : children_) c->CreateHandle();
}

void Control::DestroyHandle() {
    if (!handle_) return;
    for (Control* c : children_) c->DestroyHandle();
    Ui().DestroyControl(handle_);
    handle_ = 0;
}

void Control::HandleEvent(const Event& event) {
    Application::Instance().Guard([&] {
        switch (event.kind) {
            case EventKind::Message:
                HandleMessage(event.message);
                break;
            case EventKind::Click:
                if (OnClick) OnClick();
                break;
            case EventKind::Paint:
                HandlePaint();
                break;
            case EventKind::Resize:
                HandleResize();
                break;
            case EventKind::Activate:
                if (Form* f = OwnerForm()) {
                    if (f->OnActivate) f->OnActivate();
                }
                break;
            case EventKind::Close:
                if (Form* f = OwnerForm()) f->Close();
                break;
        }
    });
}

void Control::HandleMessage(const Message& m) {
    switch (m.msg) {
        case msg::MouseMove:
            if (OnMouseMove) OnMouseMove(m.x, m.y);
            break;
        case msg::LButtonDown:
        case msg::RButtonDown:
        case msg::MButtonDown:
            if (OnMouseDown) {
                MouseButton b = m.msg == msg::LButtonDown   ? MouseButton::Left
                                : m.msg == msg::RButtonDown ? MouseButton::Right
                                                            : MouseButton::Middle;
                OnMouseDown(b, m.x, m.y);
            }
            break;
        case msg::KeyDown: {
            // A form with key preview sees the key before the control it is addressed to.
            Form* f = OwnerForm();
            if (f && f != this && f->KeyPreview() && f->OnKeyDown) {
                f->OnKeyDown(static_cast<unsigned>(m.wParam));
                if (f->Closed()) break;
            }
            if (OnKeyDown) OnKeyDown(static_cast<unsigned>(m.wParam));
            break;
        }
        case msg::Timer:
            HandleTimer(m.wParam);
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------------------
// CheckBox

bool CheckBox::Checked() const {
    if (handle_) return Ui().GetChecked(handle_);
    return checked_;
}

void CheckBox::SetChecked(bool checked) {
    checked_ = checked;
    if (handle_) Ui().SetChecked(handle_, checked);
}

void CheckBox::AfterCreate() {
    if (checked_) Ui().SetChecked(handle_, true);
}

// ---------------------------------------------------------------------------------------
// Form

Form::Form(std::string name) : Control(nullptr, ControlKind::Form, std::move(name)) { visible_ = false; }

Form::~Form() = default;

void Form::FillSpec(WindowSpec& spec) {
    Control::FillSpec(spec);
    spec.visible = false;  // forms appear through SetVisible, which also raises OnShow
    spec.border = border_;
    spec.topmost = topmost_;
    spec.keyPreview = keyPreview_;
    spec.hideCursor = hideCursor_;
    spec.font = font_;
}

void Form::SetVisible(bool visible) {
    if (!handle_) CreateHandle();
    if (visible && !visible_) {
        visible_ = true;
        if (centerOnShow_) Ui().CenterOnScreen(handle_);
        if (OnShow) Application::Instance().Guard(OnShow);
        if (closed_) return;
        Ui().SetVisible(handle_, true);
        if (activeControl_ && activeControl_->Handle()) Ui().SetFocus(activeControl_->Handle());
        return;
    }
    visible_ = visible;
    Ui().SetVisible(handle_, visible);
}

void Form::Close() {
    if (closed_) return;
    closed_ = true;
    if (OnClose) Application::Instance().Guard(OnClose);
    if (Application::Instance().MainForm() == this) {
        Application::Instance().Terminate();
    } else if (handle_) {
        visible_ = false;
        Ui().SetVisible(handle_, false);
    }
}

void Form::HandleMessage(const Message& m) {
    if (m.msg >= msg::User) {
        auto it = MessageHandlers.find(m.msg);
        if (it != MessageHandlers.end() && it->second) it->second(m);
        return;
    }
    Control::HandleMessage(m);
}

// ---------------------------------------------------------------------------------------
// Application

Application& Application::Instance() {
    static Application app;
    return app;
}

std::string Application::TitleFromPath(const std::string& exePath) {
    std::size_t start = exePath.find_last_of("\\/:");
    std::string name = start == std::string::npos ? exePath : exePath.substr(start + 1);
    std::size_t dot = name.find('.');
    if (dot != std::string::npos) name.resize(dot);
    for (std::size_t i = 1; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') name[i] = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

std::string Application::Title() { return TitleFromPath(Current().services->ExecutablePath()); }

std::string Application::ErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

void Application::Initialize() { Current().services->InitializeComponents(); }

void Application::CreateForm(Form& form) {
    if (!mainForm_) mainForm_ = &form;
    form.CreateHandle();
    if (form.OnCreate) Guard(form.OnCreate);
}

void Application::Run() {
    if (mainForm_ && !mainForm_->Visible() && !mainForm_->Closed()) {
        Guard([this] { mainForm_->Show(); });
    }
    while (!terminated_) HandleMessage();
}

bool Application::ProcessMessage() {
    Message m;
    if (!Ui().PeekMessage(m)) return false;
    bool handled = false;
    if (OnMessage) Guard([&] { OnMessage(m, handled); });
    if (handled) {
        Ui().DiscardMessage(m);
    } else {
        Ui().DispatchMessage(m);
    }
    return true;
}

void Application::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

void Application::Idle() {
    bool done = true;
    if (OnIdle) Guard([&] { OnIdle(done); });
    if (done && !terminated_) Ui().WaitMessage();
}

void Application::HandleMessage() {
    if (!ProcessMessage()) Idle();
}

void Application::Guard(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(std::logic_error(""));
    }
}

std::string Application::UserText(const std::exception& e) {
    if (dynamic_cast<const UserError*>(&e)) return e.what();
    if (dynamic_cast<const std::bad_alloc*>(&e)) return "メモリが不足しています";
    return "内部エラーが発生しました";
}

void Application::ShowException(const std::exception& e) {
    WindowHandle owner = mainForm_ ? mainForm_->Handle() : 0;
    Ui().MessageBox(owner, ErrorText(UserText(e)), Title(), MessageBoxKind::Error);
}

void Application::Reset() {
    mainForm_ = nullptr;
    terminated_ = false;
    OnIdle = nullptr;
    OnMessage = nullptr;
    eventsOwner = nullptr;
}

// ---------------------------------------------------------------------------------------
// ApplicationEvents

ApplicationEvents::~ApplicationEvents() {
    // Only the component whose handlers are connected takes them away again.
    Application& app = Application::Instance();
    if (app.eventsOwner == this) {
        app.OnIdle = nullptr;
        app.OnMessage = nullptr;
        app.eventsOwner = nullptr;
    }
}

void ApplicationEvents::Attach() {
    Application::Instance().eventsOwner = this;
    Application::Instance().OnIdle = [this](bool& done) {
        if (OnIdle) OnIdle(done);
    };
    Application::Instance().OnMessage = [this](Message& m, bool& handled) {
        if (OnMessage) OnMessage(m, handled);
    };
}

}  // namespace lumarel::platform

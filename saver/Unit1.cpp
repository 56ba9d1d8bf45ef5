#include "saver/Unit1.h"

#include <cstdlib>

#include "saver/MovieList.h"
#include "saver/PasswordChange.h"
#include "saver/Paths.h"
#include "saver/SwfFrameRect.h"
#include "settings/SettingsStore.h"
#include "settings/SettingNames.h"

namespace lumarel {

using namespace platform;

namespace {

constexpr int kSkippedMoves = 5;
constexpr int kMoveThreshold = 2;  // pixels; both axes must move further than this
constexpr int kPauseBetweenMovies = 500;

}  // namespace

TForm1::TForm1(const SaverStart& start) : Form("Form1"), start_(start) {
    SetCaption("メインのフォーム");
    SetBorder(BorderStyle::None);
    SetKeyPreview(true);
    SetTopmost(true);
    SetHideCursor(true);
    SetFont(FontSpec{"ＭＳ Ｐゴシック", 12, true});

    Panel1.SetColor(0x000000);
    ShockwaveFlash1.SetBounds(Rect{24, 8, 193, 169});
    ButtonClose.SetText("Close");
    ButtonClose.SetVisible(false);

    OnCreate = [this] { FormCreate(); };
    OnActivate = [this] { FormActivate(); };
    OnClose = [this] { FormClose(); };
    OnKeyDown = [this](unsigned key) { FormKeyDown(key); };
    OnMouseDown = [this](MouseButton b, int x, int y) { FormMouseDown(b, x, y); };
    OnMouseMove = [this](int x, int y) { FormMouseMove(x, y); };
    Panel1.OnMouseDown = [this](MouseButton b, int x, int y) { Panel1MouseDown(b, x, y); };
    Panel1.OnMouseMove = [this](int x, int y) { Panel1MouseMove(x, y); };
    ButtonClose.OnClick = [this] { ButtonCloseClick(); };
    ApplicationEvents1.OnIdle = [this](bool& done) { ApplicationEvents1Idle(done); };
    ApplicationEvents1.OnMessage = [this](Message& m, bool& handled) { ApplicationEvents1Message(m, handled); };
    ApplicationEvents1.Attach();
    MessageHandlers[kMsgNoAction] = [](const Message&) {};
    MessageHandlers[kMsgEndSaver] = [this](const Message&) { EndSaver(); };
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
    pendingFirstMovie = true;
    moveSkipCount = kSkippedMoves;

    Size screen = Current().windowing->PrimaryScreenSize();
    SetColor(0x000000);
    SetBounds(Rect{0, 0, screen.width, screen.height});
    lastMouseX = -1;
    lastMouseY = -1;

    Current().windowing->SetScreenSaverRunning(true);
    Current().windowing->ShowCursor(false);

    MovieList = std::make_unique<std::vector<std::string>>();
    LoadSettingsAndList();

    Panel1.SetAlign(Align::Client);
    if (MovieList->empty()) pendingFirstMovie = false;

    Current().windowing->HideTaskbarWindow();
    Show();
}

void TForm1::LoadSettingsAndList() {
    settings::SettingsStore store(settings::SettingsKeyPath());
    fitToScreen = store.ReadFlag(kOptionSection, kExpansionValue, false);
    folder = store.ReadText(kOptionSection, kFolderValue, "");
    *MovieList = saver::BuildMovieList(folder, [] { Application::Instance().ProcessMessages(); });
}

std::string TForm1::MoviePath(std::size_t index) const { return saver::JoinPath(folder, (*MovieList)[index]); }

void TForm1::FormActivate() {
    if (!pendingFirstMovie) return;
    pendingFirstMovie = false;
    if (MovieList && !MovieList->empty() && Current().files->FileExists(MoviePath(0))) {
        currentIndex = 0;
        Panel1.SetVisible(true);
        Panel1.SetAlign(Align::Client);
        PlayMovie(MoviePath(0), fitToScreen);
    }
}

void TForm1::PlayMovie(const std::string& path, bool fit) {
    ShockwaveFlash1.SetBackgroundColor(0);
    saver::SwfRectBytes rect;
    try {
        rect = saver::ReadSwfFrameRect(path);
    } catch (const saver::FileError&) {
        // The player keeps the movie it has. With none yet (the first movie failed), it is
        // handed this one, which it cannot read either and so stands finished on: the next
        // idle pass moves on instead of leaving the screen black for good.
        if (ShockwaveFlash1.TotalFrames() == 0) {
            ShockwaveFlash1.SetMovie(path);
            ShockwaveFlash1.Play();
        }
        throw;
    }
    if (fit) {
        ShockwaveFlash1.SetAlign(Align::Client);
    } else {
        Size screen = Current().windowing->PrimaryScreenSize();
        int w = saver::SwfFrameWidth(rect);
        int h = saver::SwfFrameHeight(rect);
        ShockwaveFlash1.SetAlign(Align::None);
        ShockwaveFlash1.SetBounds(Rect{(screen.width - w) / 2, (screen.height - h) / 2, w, h});
    }
    ShockwaveFlash1.SetMovie(path);
    ShockwaveFlash1.Play();
    movieStarted = true;
}

void TForm1::ApplicationEvents1Idle(bool& /*done*/) {
    if (Closed()) return;
    std::int32_t total = ShockwaveFlash1.TotalFrames();
    std::int32_t current = ShockwaveFlash1.CurrentFrame();
    if (total - 1 != current) return;

    Current().services->Sleep(kPauseBetweenMovies);
    if (!MovieList || MovieList->empty()) return;
    if (currentIndex < static_cast<std::int32_t>(MovieList->size()) - 1) {
        ++currentIndex;
    } else {
        currentIndex = 0;
    }
    PlayMovie(MoviePath(static_cast<std::size_t>(currentIndex)), fitToScreen);
}

void TForm1::ApplicationEvents1Message(Message& m, bool& handled) {
    if (m.msg == msg::RButtonDown) {
        handled = true;
        EndSaver();
    } else if (m.msg == msg::MouseMove && movieStarted) {
        handled = true;
        if (moveSkipCount > 0) {
            --moveSkipCount;
        } else {
            EndSaver();
        }
    }
}

void TForm1::MouseMoved(int x, int y) {
    if (moveSkipCount > 0) {
        --moveSkipCount;
        return;
    }
    if (lastMouseX == -1 && lastMouseY == -1) {
        lastMouseX = x;
        lastMouseY = y;
        return;
    }
    if (std::abs(x - lastMouseX) > kMoveThreshold && std::abs(y - lastMouseY) > kMoveThreshold) {
        lastMouseX = x;
        lastMouseY = y;
        EndSaver();
    }
}

void TForm1::FormMouseMove(int x, int y) { MouseMoved(x, y); }
void TForm1::Panel1MouseMove(int x, int y) { MouseMoved(x, y); }
void TForm1::FormMouseDown(MouseButton, int, int) { EndSaver(); }
void TForm1::Panel1MouseDown(MouseButton, int, int) { EndSaver(); }
void TForm1::FormKeyDown(unsigned) { EndSaver(); }
void TForm1::ButtonCloseClick() { Close(); }

void TForm1::EndSaver() {
    if (Closed()) return;
    if (!start_.showMode) {
        Close();
        return;
    }
    moveSkipCount = kSkippedMoves;

    Registry& registry = *Current().registry;
    KeyHandle desktop = 0;
    if (registry.OpenKey(kCurrentUser, "Control Panel\\Desktop", reg::AllAccess, desktop) == reg::Success) {
        Windowing& ui = *Current().windowing;
        Services& services = *Current().services;
        try {
            ui.ShowCursor(true);
            ui.HideTaskbarWindow();
            saver::RunPasswordChange(services, "MPR.DLL", [this] { return start_.parentWindow; });
        } catch (...) {
            // The password step is best effort: whatever fails in it, the show still ends.
        }
        ui.ShowCursor(false);
        registry.CloseKey(desktop);
    }
    Close();
}

void TForm1::FormClose() {
    MovieList.reset();
    // The system would otherwise go on believing a screen saver is running.
    Current().windowing->SetScreenSaverRunning(false);
}

}  // namespace lumarel

// The saver window: covers the primary screen in black, hides the pointer and plays the
// folder's movies one after another until the user's first real input ends the show.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms.h"
#include "player/ShockwaveFlashObjects_TLB.h"
#include "saver/SaverStart.h"

namespace lumarel {

// Input state that outlives the window: mouse-move events still to be ignored, and whether a
// movie has been handed to the player.
inline std::int32_t moveSkipCount = 0;
inline bool movieStarted = false;

inline constexpr std::uint32_t kMsgNoAction = 0x401;
inline constexpr std::uint32_t kMsgEndSaver = 0x402;

class TForm1 : public platform::Form {
public:
    explicit TForm1(const SaverStart& start);
    ~TForm1() override;

    platform::Panel Panel1{this, "Panel1"};
    TShockwaveFlash ShockwaveFlash1{&Panel1, "ShockwaveFlash1"};
    platform::Button ButtonClose{this, "ButtonClose"};
    platform::ApplicationEvents ApplicationEvents1;

    std::int32_t lastMouseX = -1, lastMouseY = -1;
    bool fitToScreen = false;
    std::unique_ptr<std::vector<std::string>> MovieList;
    std::string folder;
    std::int32_t currentIndex = 0;
    bool pendingFirstMovie = false;

    void FormCreate();
    void FormActivate();
    void FormClose();
    void FormKeyDown(unsigned key);
    void FormMouseDown(platform::MouseButton button, int x, int y);
    void FormMouseMove(int x, int y);
    void Panel1MouseDown(platform::MouseButton button, int x, int y);
    void Panel1MouseMove(int x, int y);
    void ButtonCloseClick();
    void ApplicationEvents1Idle(bool& done);
    void ApplicationEvents1Message(platform::Message& m, bool& handled);

    void LoadSettingsAndList();
    void PlayMovie(const std::string& path, bool fit);
    void EndSaver();

private:
    SaverStart start_;

    void MouseMoved(int x, int y);
    std::string MoviePath(std::size_t index) const;
};

}  // namespace lumarel

// One fake platform for a test: fake windowing, services and sound device, plus whatever
// registry and file system the test puts in. Install() makes it the platform in use and resets
// the application.
#pragma once

#include "platform/forms.h"
#include "tests/fake/fake_audio.h"
#include "tests/fake/fake_services.h"
#include "tests/fake/fake_windowing.h"

namespace lumarel::fake {

struct FakePlatform {
    FakeWindowing ui;
    FakeServices services;
    FakeAudioOutput audio;
    Registry* registry = nullptr;
    FileSystem* files = nullptr;

    void Install() {
        Platform p;
        p.windowing = &ui;
        p.services = &services;
        p.registry = registry;
        p.files = files;
        p.audio = &audio;
        lumarel::platform::Install(p);
        Application::Instance().Reset();
    }
};

}  // namespace lumarel::fake

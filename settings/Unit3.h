// The settings dialog: the movie folder (typed or picked in the folder chooser) and whether
// movies are fitted to the screen. OK stores both and closes; Cancel closes.
#pragma once

#include <string>

#include "platform/forms.h"
#include "settings/SettingNames.h"

namespace lumarel {

// The folder chooser, opened on `initialPath`; "" when the user cancels or picks no folder.
std::string BrowseForFolder(platform::WindowHandle owner, const std::string& initialPath);

class TForm3 : public platform::Form {
public:
    TForm3();

    platform::Label Label2{this, "Label2"};
    platform::Edit EditMovieFolder{this, "EditMovieFolder"};
    platform::SpeedButton SpeedButton1{this, "SpeedButton1"};
    platform::CheckBox CheckBoxExpansion{this, "CheckBoxExpansion"};
    platform::Button ButtonCancel{this, "ButtonCancel"};
    platform::Button ButtonOK{this, "ButtonOK"};
    platform::Bevel Bevel1{this, "Bevel1"};
    platform::Label Label3{this, "Label3"};
    platform::Label Label1{this, "Label1"};

    void FormShow();
    void SpeedButton1Click();
    void ButtonOKClick();
    void ButtonCancelClick();
};

}  // namespace lumarel

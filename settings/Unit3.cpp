#include "settings/Unit3.h"

#include "settings/SettingsStore.h"

namespace lumarel {

using namespace platform;

std::string BrowseForFolder(WindowHandle owner, const std::string& initialPath) {
    return Current().windowing->BrowseForFolder(owner, "フォルダを選択してください", initialPath);
}

namespace {

void Place(Control& c, int left, int top, int width, int height, const std::string& text, int tabOrder = -1) {
    c.SetBounds(Rect{left, top, width, height});
    c.SetText(text);
    c.SetTabOrder(tabOrder);
}

}  // namespace

TForm3::TForm3() : Form("Form3") {
    SetCaption("設定");
    SetBorder(BorderStyle::Dialog);
    SetBounds(Rect{0, 0, 313, 161});
    SetCenterOnShow(true);
    SetFont(FontSpec{"ＭＳ Ｐゴシック", 12, true});

    Place(Label2, 8, 8, 107, 12, "SWFファイルフォルダ");
    Place(EditMovieFolder, 8, 24, 281, 20, "", 1);
    Place(SpeedButton1, 288, 24, 20, 20, "...");
    Place(CheckBoxExpansion, 8, 56, 137, 17, "画面サイズにあわせる", 3);
    Place(ButtonCancel, 152, 80, 73, 25, "Cancel", 2);
    Place(ButtonOK, 232, 80, 73, 25, "OK", 0);
    Place(Bevel1, 0, 112, 313, 41, "");
    Place(Label3, 8, 120, 143, 12, "Version 1.0 Build 2002.10.07");
    Place(Label1, 8, 136, 195, 12, "Copyright (C) 2002 velbrookworks");
    SetActiveControl(&ButtonOK);

    OnShow = [this] { FormShow(); };
    SpeedButton1.OnClick = [this] { SpeedButton1Click(); };
    ButtonOK.OnClick = [this] { ButtonOKClick(); };
    ButtonCancel.OnClick = [this] { ButtonCancelClick(); };
}

void TForm3::FormShow() {
    settings::SettingsStore store(settings::SettingsKeyPath());
    CheckBoxExpansion.SetChecked(store.ReadFlag(kOptionSection, kExpansionValue, false));
    EditMovieFolder.SetText(store.ReadText(kOptionSection, kFolderValue, ""));
}

void TForm3::SpeedButton1Click() {
    std::string chosen = BrowseForFolder(Handle(), EditMovieFolder.Text());
    if (!chosen.empty()) EditMovieFolder.SetText(chosen);
}

void TForm3::ButtonOKClick() {
    {
        settings::SettingsStore store(settings::SettingsKeyPath());
        store.WriteFlag(kOptionSection, kExpansionValue, CheckBoxExpansion.Checked());
        store.WriteText(kOptionSection, kFolderValue, EditMovieFolder.Text());
    }
    Close();
}

void TForm3::ButtonCancelClick() { Close(); }

}  // namespace lumarel

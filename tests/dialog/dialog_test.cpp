#include <gtest/gtest.h>

#include "settings/Unit3.h"
#include "tests/fake/fake_platform.h"
#include "tests/fake/fake_registry.h"

using namespace lumarel;
using namespace lumarel::platform;
using lumarel::fake::FakePlatform;
using lumarel::fake::FakeRegistry;

namespace {

const std::string kKey = "Software\\velbrook\\Movies\\OPTION";

std::string Text(const FakeRegistry& r, const std::string& name) {
    auto v = r.ValueAt(kKey, name);
    return v ? std::string(v->data.begin(), v->data.end()) : std::string("<none>");
}

}  // namespace

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        fp.services.exePath = "C:\\WINDOWS\\Movies.scr";
        fp.registry = &registry;
        fp.Install();
    }
    // Creates the dialog as the main window and shows it, as the run loop does.
    void Open() {
        dialog = std::make_unique<TForm3>();
        Application::Instance().CreateForm(*dialog);
        dialog->Show();
    }
    FakePlatform fp;
    FakeRegistry registry;
    std::unique_ptr<TForm3> dialog;
};

TEST_F(DialogTest, LayoutCaptionAndFocus) {
    Open();
    const auto& w = fp.ui.Window(dialog->Handle());
    EXPECT_EQ(w.spec.text, "設定");
    EXPECT_EQ(w.spec.border, BorderStyle::Dialog);
    EXPECT_EQ(w.bounds.width, 313);
    EXPECT_EQ(w.bounds.height, 161);
    EXPECT_EQ(w.bounds.left, (1024 - 313) / 2);  // centred
    EXPECT_EQ(w.bounds.top, (768 - 161) / 2);
    EXPECT_EQ(w.spec.font.name, "ＭＳ Ｐゴシック");
    EXPECT_EQ(w.spec.font.height, 12);
    EXPECT_EQ(fp.ui.Window(dialog->EditMovieFolder.Handle()).spec.bounds, (Rect{8, 24, 281, 20}));
    EXPECT_EQ(fp.ui.Window(dialog->SpeedButton1.Handle()).spec.tabOrder, -1);
    EXPECT_EQ(dialog->ButtonOK.TabOrder(), 0);
    EXPECT_EQ(dialog->EditMovieFolder.TabOrder(), 1);
    EXPECT_EQ(dialog->ButtonCancel.TabOrder(), 2);
    EXPECT_EQ(dialog->CheckBoxExpansion.TabOrder(), 3);
    EXPECT_EQ(fp.ui.focused, dialog->ButtonOK.Handle());
    EXPECT_EQ(dialog->Label3.Text(), "Version 1.0 Build 2002.10.07");
}

TEST_F(DialogTest, FirstStartShowsDefaultsAndCancelStoresNothing) {
    Open();
    EXPECT_FALSE(dialog->CheckBoxExpansion.Checked());
    EXPECT_EQ(dialog->EditMovieFolder.Text(), "");
    EXPECT_TRUE(registry.KeyExists("Software\\velbrook\\Movies"));
    fp.ui.Deliver(dialog->ButtonCancel.Handle(), EventKind::Click);
    EXPECT_TRUE(dialog->Closed());
    EXPECT_FALSE(registry.KeyExists(kKey));
}

TEST_F(DialogTest, OkStoresBothValuesAsTypedAndCloses) {
    Open();
    dialog->CheckBoxExpansion.SetChecked(true);
    dialog->EditMovieFolder.SetText(" D:\\Movies ");
    fp.ui.Deliver(dialog->ButtonOK.Handle(), EventKind::Click);
    EXPECT_TRUE(dialog->Closed());
    EXPECT_EQ(Text(registry, "Expansion"), std::string("1\0", 2));
    EXPECT_EQ(Text(registry, "Folder"), std::string(" D:\\Movies \0", 12));
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(DialogTest, OkWithAnEmptyFolderStoresTheNulAlone) {
    Open();
    fp.ui.Deliver(dialog->ButtonOK.Handle(), EventKind::Click);
    EXPECT_EQ(Text(registry, "Expansion"), std::string("0\0", 2));
    EXPECT_EQ(Text(registry, "Folder"), std::string("\0", 1));
}

TEST_F(DialogTest, ShownAgainShowsTheStoredValuesNotTheTypedOnes) {
    registry.SetTextAt(kKey, "Expansion", 1, std::string("1\0", 2));
    registry.SetTextAt(kKey, "Folder", 1, std::string("E:\\swf\0", 7));
    Open();
    dialog->EditMovieFolder.SetText("typed");
    dialog->CheckBoxExpansion.SetChecked(false);
    dialog->SetVisible(false);
    dialog->Show();
    EXPECT_EQ(dialog->EditMovieFolder.Text(), "E:\\swf");
    EXPECT_TRUE(dialog->CheckBoxExpansion.Checked());
}

TEST_F(DialogTest, CloseBoxStoresNothing) {
    Open();
    dialog->EditMovieFolder.SetText("x");
    fp.ui.Deliver(dialog->Handle(), EventKind::Close);
    EXPECT_TRUE(dialog->Closed());
    EXPECT_FALSE(registry.KeyExists(kKey));
}

TEST_F(DialogTest, ChooserOpensOnTheEditTextAndCancelKeepsIt) {
    Open();
    dialog->EditMovieFolder.SetText("C:\\old");
    fp.ui.browseResult = "";
    fp.ui.Deliver(dialog->SpeedButton1.Handle(), EventKind::Click);
    EXPECT_EQ(fp.ui.browseInitialPaths, (std::vector<std::string>{"C:\\old"}));
    EXPECT_EQ(dialog->EditMovieFolder.Text(), "C:\\old");
    fp.ui.browseResult = "C:\\";  // a drive root keeps its separator
    fp.ui.Deliver(dialog->SpeedButton1.Handle(), EventKind::Click);
    EXPECT_EQ(dialog->EditMovieFolder.Text(), "C:\\");
    fp.ui.Deliver(dialog->ButtonOK.Handle(), EventKind::Click);
    EXPECT_EQ(Text(registry, "Folder"), std::string("C:\\\0", 4));
}

TEST_F(DialogTest, ReadErrorIsReportedAndLaterReadsAreNotMade) {
    registry.SetValueAt(kKey, "Expansion", 4, {1, 0, 0, 0});
    registry.SetTextAt(kKey, "Folder", 1, std::string("E:\\swf\0", 7));
    Open();
    ASSERT_EQ(fp.ui.boxes.size(), 1u);
    EXPECT_EQ(fp.ui.boxes[0].text, "'Expansion' のデータ型が不正です.");
    EXPECT_EQ(fp.ui.boxes[0].caption, "Movies");
    EXPECT_TRUE(fp.ui.Window(dialog->Handle()).visible);  // still opens
    EXPECT_EQ(dialog->EditMovieFolder.Text(), "");
    // OK now replaces the broken value and stores the empty folder.
    fp.ui.Deliver(dialog->ButtonOK.Handle(), EventKind::Click);
    EXPECT_EQ(registry.ValueAt(kKey, "Expansion")->type, 1u);
    EXPECT_EQ(Text(registry, "Folder"), std::string("\0", 1));
}

TEST_F(DialogTest, WriteErrorLeavesTheDialogOpenAndKeepsEarlierWrites) {
    Open();
    registry.Fail(FakeRegistry::Op::SetValue, "Folder", 5);
    dialog->CheckBoxExpansion.SetChecked(true);
    dialog->EditMovieFolder.SetText("F:\\");
    fp.ui.Deliver(dialog->ButtonOK.Handle(), EventKind::Click);
    EXPECT_FALSE(dialog->Closed());
    ASSERT_EQ(fp.ui.boxes.size(), 1u);
    EXPECT_EQ(fp.ui.boxes[0].text, "'Folder' の設定に失敗しました.");
    EXPECT_EQ(Text(registry, "Expansion"), std::string("1\0", 2));
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

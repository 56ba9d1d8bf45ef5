#include <gtest/gtest.h>

#include "tests/app/PlaceholderForm.h"
#include "app/RunModes.h"
#include "tests/fake/fake_platform.h"

using namespace lumarel;
using lumarel::fake::FakePlatform;

TEST(RunModeTable, PrefixFormsAndOrder) {
    struct Case {
        const char* arg;
        std::optional<RunMode> mode;
    } cases[] = {
        {"/A", RunMode::ChangePassword},
        {"-A", RunMode::ChangePassword},
        {"ANYTHING", RunMode::ChangePassword},
        {"/P", RunMode::Preview},
        {"-P", RunMode::Preview},
        {"P", RunMode::Preview},
        {"/C:1234", RunMode::Configure},
        {"-C", RunMode::Configure},
        {"CONFIG", RunMode::Configure},
        {"/S", RunMode::Show},
        {"-S", RunMode::Show},
        {"SHOW", RunMode::Show},
        {"", RunMode::Configure},
        {"/X", std::nullopt},
        {"-Q", std::nullopt},
        {"/", std::nullopt},
        {"X/S", std::nullopt},
        {"//S", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ChooseRunMode(c.arg), c.mode) << c.arg;
}

TEST(RunModeTable, UpperCasingTouchesAsciiLettersOnly) {
    EXPECT_EQ(UpperAscii("/s:abc"), "/S:ABC");
    EXPECT_EQ(UpperAscii("é表"), "é表");
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        fp.services.exePath = "C:\\WINDOWS\\DODAZOVA.SCR";
        fp.Install();
        forms.saver = [this](const SaverStart&) {
            ++saversCreated;
            return MakePlaceholderForm("saver");
        };
        forms.settings = [this] {
            ++dialogsCreated;
            return MakePlaceholderForm("settings");
        };
        // Whatever window comes up is closed by a key press once the loop waits.
        fp.ui.onWait = [this] {
            for (auto& [h, w] : fp.ui.windows) {
                if (w.spec.kind == platform::ControlKind::Form && w.visible && !w.destroyed) {
                    lockHeldWhileLooping = fp.services.locksHeld[kLockName] > 0;
                    fp.ui.Post(platform::msg::KeyDown, h, 0, 0, 0x1B);
                }
            }
        };
    }
    int Run(std::vector<std::string> args) {
        fp.services.arguments = std::move(args);
        return RunProcess(forms);
    }
    FakePlatform fp;
    FormFactory forms;
    int saversCreated = 0, dialogsCreated = 0;
    bool lockHeldWhileLooping = false;
};

TEST_F(ProcessTest, NoArgumentsOpensTheDialogAndHoldsTheLockUntilTheLoopEnds) {
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(dialogsCreated, 1);
    EXPECT_EQ(saversCreated, 0);
    EXPECT_TRUE(lockHeldWhileLooping);
    EXPECT_TRUE(fp.services.componentsInitialized);
    EXPECT_EQ(fp.services.locksHeld[kLockName], 0);
    EXPECT_EQ(fp.services.lockOrder,
              (std::vector<std::string>{std::string("create ") + kLockName, std::string("release ") + kLockName}));
}

TEST_F(ProcessTest, ShowSwitchesOpenTheSaver) {
    for (const char* arg : {"/s", "-s", "s", "Show"}) {
        saversCreated = 0;
        fp.Install();
        EXPECT_EQ(Run({arg}), 0);
        EXPECT_EQ(saversCreated, 1) << arg;
        EXPECT_EQ(Globals().runMode, RunMode::Show);
    }
    EXPECT_EQ(dialogsCreated, 0);
}

TEST_F(ProcessTest, ArgumentsAreKeptUpperCased) {
    Run({"/c:1234", "abc"});
    EXPECT_EQ(Globals().firstArgument, "/C:1234");
    EXPECT_EQ(Globals().secondArgument, "ABC");
    EXPECT_EQ(dialogsCreated, 1);
}

TEST_F(ProcessTest, PreviewTakesAndReleasesTheLockWithoutAWindow) {
    EXPECT_EQ(Run({"/p", "4711"}), 0);
    EXPECT_EQ(saversCreated + dialogsCreated, 0);
    EXPECT_TRUE(fp.ui.windows.empty());
    EXPECT_EQ(fp.services.lockOrder.size(), 2u);
    EXPECT_EQ(fp.services.locksHeld[kLockName], 0);
}

TEST_F(ProcessTest, UnrecognisedArgumentEndsAtOnceWithoutLock) {
    for (const char* arg : {"/x", "-Q", "?"}) {
        EXPECT_EQ(Run({arg}), 0);
    }
    EXPECT_TRUE(fp.services.lockOrder.empty());
    EXPECT_TRUE(fp.ui.windows.empty());
    EXPECT_TRUE(fp.ui.boxes.empty());
    EXPECT_FALSE(fp.services.componentsInitialized);
}

TEST_F(ProcessTest, SecondInstanceShowsThePlainBoxAndStops) {
    fp.services.locksHeldElsewhere.insert(kLockName);
    for (const char* arg : {"/s", "/c", "/p"}) {
        fp.ui.boxes.clear();
        EXPECT_EQ(Run({arg}), 0);
        ASSERT_EQ(fp.ui.boxes.size(), 1u) << arg;
        EXPECT_EQ(fp.ui.boxes[0].text, kSecondInstanceMessage);
        EXPECT_EQ(fp.ui.boxes[0].caption, "Dodazova");
        EXPECT_EQ(fp.ui.boxes[0].kind, platform::MessageBoxKind::Plain);
    }
    EXPECT_EQ(saversCreated + dialogsCreated, 0);
    EXPECT_FALSE(fp.services.componentsInitialized);
    // Nothing is released: the lock was never ours.
    for (const auto& step : fp.services.lockOrder) EXPECT_EQ(step.rfind("release", 0), std::string::npos);
}

TEST_F(ProcessTest, ChangePasswordCallsTheEntryOfTheSystemLibrary) {
    const std::string mpr = "C:\\Windows\\system32\\MPR.DLL";
    fp.services.loadable = {mpr};
    fp.services.withPasswordEntry = {mpr};
    EXPECT_EQ(Run({"/a", "4711"}), 0);
    ASSERT_EQ(fp.services.passwordCalls.size(), 1u);
    EXPECT_EQ(fp.services.passwordCalls[0].provider, "SCRSAVE");
    EXPECT_EQ(fp.services.passwordCalls[0].parent, 4711u);
    EXPECT_EQ(fp.services.passwordCalls[0].a, 0u);
    EXPECT_EQ(fp.services.passwordCalls[0].b, 0u);
    EXPECT_TRUE(fp.services.loaded.empty());  // unloaded again
    EXPECT_TRUE(fp.services.lockOrder.empty());
    EXPECT_TRUE(fp.ui.windows.empty());
}

TEST_F(ProcessTest, ChangePasswordPathGetsOneSeparator) {
    fp.services.systemDirectory = "D:\\SYS\\";
    Run({"Anything", "$10"});
    EXPECT_EQ(fp.services.loadAttempts, (std::vector<std::string>{"D:\\SYS\\MPR.DLL"}));
    fp.services.systemDirectory = "";
    fp.services.loadAttempts.clear();
    Run({"/a"});
    EXPECT_EQ(fp.services.loadAttempts, (std::vector<std::string>{"MPR.DLL"}));
}

TEST_F(ProcessTest, ChangePasswordEndsSilentlyWithoutLibraryOrEntry) {
    const std::string mpr = "C:\\Windows\\system32\\MPR.DLL";
    EXPECT_EQ(Run({"/a", "not a number"}), 0);  // library missing: no conversion happens
    fp.services.loadable = {mpr};
    EXPECT_EQ(Run({"/a", "not a number"}), 0);  // entry missing: no conversion either
    EXPECT_TRUE(fp.services.passwordCalls.empty());
    EXPECT_TRUE(fp.ui.boxes.empty());
    EXPECT_TRUE(fp.services.loaded.empty());
}

TEST_F(ProcessTest, ChangePasswordWithNoIntegerIsAnUnhandledError) {
    const std::string mpr = "C:\\Windows\\system32\\MPR.DLL";
    fp.services.loadable = {mpr};
    fp.services.withPasswordEntry = {mpr};
    for (auto args : {std::vector<std::string>{"/a", "12x"}, std::vector<std::string>{"/a"}}) {
        fp.ui.boxes.clear();
        EXPECT_EQ(Run(args), 1);
        ASSERT_EQ(fp.ui.boxes.size(), 1u);
        EXPECT_EQ(fp.ui.boxes[0].caption, kUnhandledCaption);
        EXPECT_EQ(fp.ui.boxes[0].kind, platform::MessageBoxKind::TaskModalError);
        EXPECT_NE(fp.ui.boxes[0].text.find("ConvertError"), std::string::npos);
    }
    EXPECT_NE(fp.ui.boxes[0].text.find("'' は整数ではありません"), std::string::npos);
    EXPECT_TRUE(fp.services.passwordCalls.empty());
    EXPECT_EQ(fp.services.loaded.size(), 2u);  // left loaded, both times
}

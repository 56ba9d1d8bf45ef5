#include <cstdio>
#include <cstring>

#include "app/RunModes.h"
#include "platform/platform.h"
#if !defined(_WIN32)
#include <cstdlib>
#include <string>
#include <vector>

#include "saver/Hack.h"
#endif
#include "saver/Unit1.h"
#include "settings/Unit3.h"

namespace {

#if !defined(_WIN32)
// On Linux the program is also started from a terminal: --help says what it takes. The mode
// table still decides what happens next (such an argument ends the process at once).
constexpr const char* kUsage =
    "使い方: lumarel [/s | /c | /p N | /a N]\n"
    "  /s     スクリーンセーバーを表示します (設定したフォルダーの SWF ムービーを順に再生)\n"
    "  /c     設定ダイアログを開きます (引数がないときも同じ)\n"
    "  /p N   プレビュー: 何も表示せずに終了します\n"
    "  /a N   パスワードの変更: Linux では何もせずに終了します\n"
    "  -root | -window-id ID [--folder DIR] [--fit | --no-fit] [-fps]\n"
    "         スクリーンセーバー デーモン (xscreensaver など) のハックとして、\n"
    "         ルート ウィンドウまたは指定したウィンドウに再生します\n"
    "スイッチは - でも、/ なしでも書けます (s, -s, /S, Show)。\n"
    "設定はユーザーごとのレジストリ (~/.config/lumarel/registry.sqlite3) に保存され、\n"
    "lumarel-reg で表示・変更できます。\n";

bool AsksForHelp(int argc, char** argv) {
    return argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
}
#endif

}  // namespace

int main(int argc, char** argv) {
#if !defined(_WIN32)
    if (AsksForHelp(argc, argv)) std::fputs(kUsage, stdout);
    // Started by the desktop's screen-saver daemon: play into its window, nothing else.
    std::string error;
    const auto hack = lumarel::saver::ParseHackArguments(std::vector<std::string>(argv + 1, argv + argc),
                                                         std::getenv("XSCREENSAVER_WINDOW"), error);
    if (!error.empty()) {
        std::fprintf(stderr, "lumarel: %s\n", error.c_str());
        return 2;
    }
    if (hack) {
        lumarel::platform::Install(lumarel::platform::NativePlatform());
        return lumarel::saver::RunHack(*hack);
    }
#endif
    lumarel::platform::SetProcessArguments(argc, argv);
    lumarel::platform::Install(lumarel::platform::NativePlatform());
    lumarel::FormFactory forms;
    forms.saver = [](const lumarel::SaverStart& start) { return std::make_unique<lumarel::TForm1>(start); };
    forms.settings = [] { return std::make_unique<lumarel::TForm3>(); };
    return lumarel::RunProcess(forms);
}

#include "app/PlaceholderForm.h"
#include "app/RunModes.h"

int main(int argc, char** argv) {
    lumarel::platform::SetProcessArguments(argc, argv);
    lumarel::FormFactory forms;
    forms.saver = [] { return lumarel::MakePlaceholderForm("メインのフォーム"); };
    forms.settings = [] { return lumarel::MakePlaceholderForm("設定"); };
    return lumarel::RunProcess(forms);
}

#include "app/RunModes.h"
#include "saver/Unit1.h"
#include "settings/Unit3.h"

int main(int argc, char** argv) {
    lumarel::platform::SetProcessArguments(argc, argv);
    lumarel::FormFactory forms;
    forms.saver = [] { return std::make_unique<lumarel::TForm1>(); };
    forms.settings = [] { return std::make_unique<lumarel::TForm3>(); };
    return lumarel::RunProcess(forms);
}

#include "app/UnitGlobal.h"

#include "saver/SaverStart.h"
#include "settings/inttext.h"

namespace lumarel {

ProcessGlobals& Globals() {
    static ProcessGlobals globals;
    return globals;
}

SaverStart ProcessSaverStart() {
    return SaverStart{Globals().runMode == RunMode::Show, settings::TextToInt(Globals().secondArgument).value_or(0)};
}

}  // namespace lumarel

#include "app/UnitGlobal.h"

namespace lumarel {

ProcessGlobals& Globals() {
    static ProcessGlobals globals;
    return globals;
}

}  // namespace lumarel

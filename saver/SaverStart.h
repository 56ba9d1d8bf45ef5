// What the saver window needs to know of how the process was started.
#pragma once

#include <cstdint>

namespace lumarel {

struct SaverStart {
    // Started to show the saver (/s): ending the show runs the password step. In any other
    // mode the window just closes.
    bool showMode = true;
    // The owner of the password step: the second argument as a window number, 0 when it is
    // none or no number.
    std::int32_t parentWindow = 0;
};

}  // namespace lumarel

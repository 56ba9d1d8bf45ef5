// A plain main window that a key press closes; stands in for a mode's real window in tests.
#pragma once

#include <memory>
#include <string>

#include "platform/forms.h"

namespace lumarel {

inline std::unique_ptr<platform::Form> MakePlaceholderForm(const std::string& caption) {
    auto form = std::make_unique<platform::Form>("FormPlaceholder");
    form->SetCaption(caption);
    form->SetBounds(platform::Rect{100, 100, 320, 120});
    form->SetBorder(platform::BorderStyle::Dialog);
    form->SetCenterOnShow(true);
    form->SetKeyPreview(true);
    platform::Form* f = form.get();
    form->OnKeyDown = [f](unsigned) { f->Close(); };
    return form;
}

}  // namespace lumarel

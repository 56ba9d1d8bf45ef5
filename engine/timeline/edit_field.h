// An edit field on the display list with text that scripts change (TextField): the field's
// properties, its text (plain or HTML) and the shape that text was last laid out into.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/text/text_shapes.h"

namespace lumarel::engine::timeline {

struct ShapeCharacter;

// Text a field keeps at most (characters beyond it are dropped).
constexpr size_t kMaxFieldText = size_t(1) << 20;
// Runs of characters formatted apart (setTextFormat with a range) one field keeps.
constexpr size_t kMaxFormatRuns = 4096;
// Glyph edges one field may lay out.
constexpr long kMaxFieldEdges = 400000;

class EditField {
public:
    enum class AutoSize { None, Left, Center, Right };

    EditField(text::EditTextDef def, const ShapeCharacter* laidOut);

    text::EditTextDef def;  // bounds, flags, font and format as the field has them now
    bool background = false, border = false;
    raster::Rgba backgroundColor{255, 255, 255, 255}, borderColor{0, 0, 0, 255};
    AutoSize autoSize = AutoSize::None;
    bool embedFonts = false;

    // The contents as scripts see them: `text` without markup, `html` as set (when def.html).
    const std::string& Text() const { return text_; }
    const std::string& HtmlText() const { return html_; }
    void SetText(const std::string& s);
    void SetHtmlText(const std::string& s);
    void Changed() { dirty_ = true; }  // a property that changes the layout was set

    // The laid-out shape and the extent of its text, laid out again when something changed.
    const ShapeCharacter& Shape(const text::TextContext& ctx);
    const text::TextExtent& Extent(const text::TextContext& ctx) {
        if (dirty_ || !measured_) Layout(ctx);
        return extent_;
    }
    // The shape as last laid out (for drawing, which changes nothing).
    const ShapeCharacter* LaidOut() const { return shape_ ? shape_.get() : initial_; }
    // Changes with every layout and is never the same for two layouts of any fields (0: none yet).
    uint64_t Layouts() const { return layout_; }

private:
    void Layout(const text::TextContext& ctx);
    std::string text_, html_;
    bool dirty_ = false;
    const ShapeCharacter* initial_;  // the field as the movie laid it out at load, until it changes
    std::unique_ptr<ShapeCharacter> shape_;
    text::TextExtent extent_;
    bool measured_ = false;
    uint64_t layout_ = 0;
};

}  // namespace lumarel::engine::timeline

#include "engine/timeline/edit_field.h"

#include <algorithm>
#include <cmath>

#include "engine/avm1/utf8.h"
#include "engine/timeline/timeline.h"

namespace lumarel::engine::timeline {

namespace {

// Line breaks as fields keep them: CR LF, LF and CR all become CR.
std::string NormalizeBreaks(const std::string& s) {
    std::string out;
    out.reserve(std::min(s.size(), kMaxFieldText));
    for (size_t i = 0; i < s.size() && out.size() < kMaxFieldText; ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
        out.push_back(s[i] == '\n' ? '\r' : s[i]);
    }
    return out;
}

// The characters of HTML text without its markup, paragraphs ended by CR.
std::string PlainOf(const std::string& html) {
    const text::StyledText t = text::ParseHtmlText(html, text::TextStyle{}, 0);
    std::string out;
    for (size_t i = 0; i < t.paragraphs.size(); ++i) {
        if (i) out.push_back('\r');
        for (char32_t c : t.paragraphs[i].chars) avm1::Utf8Append(c, out);
    }
    return out;
}

}  // namespace

EditField::EditField(text::EditTextDef d, const ShapeCharacter* laidOut) : def(std::move(d)), initial_(laidOut) {
    border = background = def.border;
    if (def.html) {
        html_ = def.text;
        text_ = PlainOf(html_);
    } else {
        text_ = NormalizeBreaks(def.text);
    }
    dirty_ = !initial_ || def.autoSize;
    if (def.autoSize) autoSize = AutoSize::Left;
}

void EditField::SetText(const std::string& s) {
    text_ = NormalizeBreaks(s);
    def.patches.clear();
    html_.clear();
    avm1::AppendEscaped(html_, text_, false, true);
    dirty_ = true;
}

void EditField::SetHtmlText(const std::string& s) {
    if (!def.html) return SetText(s);
    html_ = s.substr(0, kMaxFieldText);
    text_ = PlainOf(html_);
    def.patches.clear();
    dirty_ = true;
}

const ShapeCharacter& EditField::Shape(const text::TextContext& ctx) {
    if (dirty_ || !LaidOut()) Layout(ctx);
    return *LaidOut();
}

void EditField::Layout(const text::TextContext& ctx) {
    text::TextContext c = ctx;
    long budget = kMaxFieldEdges;
    c.edgeBudget = &budget;
    const std::string& contents = def.html ? html_ : text_;
    text::TextShape ts;
    if (autoSize != AutoSize::None) {
        // Measured first without a width limit (unless wrapping), then the box fits the text.
        text::EditTextDef wide = def;
        if (!def.wordWrap) wide.bounds.xmax = wide.bounds.xmin + (int32_t(1) << 26);
        wide.bounds.ymax = wide.bounds.ymin + (int32_t(1) << 26);
        text::TextExtent e;
        text::LayoutEditText(wide, contents, c, ts, &e);
        if (!def.wordWrap) {
            const auto w = static_cast<int32_t>(std::ceil(e.width + 2 * text::kFieldPadding));
            if (autoSize == AutoSize::Left) {
                def.bounds.xmax = def.bounds.xmin + w;
            } else if (autoSize == AutoSize::Right) {
                def.bounds.xmin = def.bounds.xmax - w;
            } else {
                const int32_t mid = (def.bounds.xmin + def.bounds.xmax) / 2;
                def.bounds.xmin = mid - w / 2;
                def.bounds.xmax = def.bounds.xmin + w;
            }
        }
        def.bounds.ymax = def.bounds.ymin + static_cast<int32_t>(std::ceil(e.height + 2 * text::kFieldPadding));
        budget = kMaxFieldEdges;
    }
    text::LayoutEditText(def, contents, c, ts, &extent_);
    if (!shape_) shape_ = std::make_unique<ShapeCharacter>();
    shape_->bounds = ts.bounds;
    shape_->shape = std::move(ts.shape);
    shape_->edgeCount = ts.edgeCount;
    shape_->clipToBounds = true;
    shape_->box = border || background;
    shape_->boxBorder = border;
    shape_->boxBackground = background;
    shape_->borderColor = borderColor;
    shape_->backgroundColor = backgroundColor;
    dirty_ = false;
    measured_ = true;
    layout_ = NextSerial();
}

}  // namespace lumarel::engine::timeline

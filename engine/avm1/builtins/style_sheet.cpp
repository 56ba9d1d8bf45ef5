// TextField.StyleSheet: named styles (tag names "p", classes ".note") whose properties are
// written as scripts name them (fontSize, color, ...). parseCSS and load read CSS text; a field's
// styleSheet hands the rules to the field, which formats its HTML by them.
#include "engine/avm1/builtins/shared.h"
#include "engine/avm1/utf8.h"
#include "engine/text/css.h"

namespace lumarel::engine::avm1 {

namespace {

constexpr size_t kMaxStyles = 4096;

// The sheet's styles: a hidden object of style objects by lower-cased name, oldest first.
Object* StylesOf(Machine& m, const Value& self) {
    if (!self.IsObject()) return nullptr;
    const Property* p = self.object->Find("$styles");
    if (p && p->value.IsObject()) return p->value.object;
    Object* styles = m.NewObject();
    self.object->Define("$styles", Value(styles), kDontEnum);
    return styles;
}

std::vector<std::string> NamesOf(const Object* styles) {
    std::vector<std::string> names = styles->Keys();  // newest first
    return {names.rbegin(), names.rend()};
}

Object* CopyOf(Machine& m, const Value& style) {
    Object* copy = m.NewObject();
    if (style.IsObject())
        for (const std::string& k : style.object->Keys()) copy->Define(k, m.Get(style.object, k));
    return copy;
}

void SetStyle(Machine& m, Object* styles, const std::string& name, const Value& style) {
    const std::string key = LowerCaseText(name);
    if (style.IsNullish()) {
        styles->Delete(key);
    } else if (styles->Find(key) || styles->Keys().size() < kMaxStyles) {
        styles->Delete(key);  // set again, it counts as the newest
        styles->Define(key, Value(CopyOf(m, style)));
    }
}

// The sheet as CSS text, for the field it is given to (empty for no sheet).
std::string StyleSheetText(Machine& m, const Value& sheet) {
    const Property* p = sheet.IsObject() ? sheet.object->Find("$styles") : nullptr;
    if (!p || !p->value.IsObject()) return {};
    std::string css;
    for (const std::string& name : NamesOf(p->value.object)) {
        const Value style = m.Get(p->value.object, name);
        if (!style.IsObject()) continue;
        css += name + "{";
        for (const std::string& k : style.object->Keys()) css += k + ":" + m.ToString(m.Get(style.object, k)) + ";";
        css += "}";
    }
    return css;
}

}  // namespace

void InstallStyleSheet(Machine& m) {
    const Value textField = m.Get(m.global, "TextField");
    if (!textField.IsObject()) return;
    Object* proto = m.NewObject(m.objectProto);
    const Value saved = m.Get(m.global, "StyleSheet");
    NativeClass(
        m, "StyleSheet",
        [](Machine& mm, const Value& self, std::span<const Value>) {
            self.object->data = std::make_unique<LoadState>();
            StylesOf(mm, self);
            return Value();
        },
        proto);
    // The class lives on TextField, not in the global scope.
    textField.object->Define("StyleSheet", m.Get(m.global, "StyleSheet"), kSince7);
    if (saved.IsUndefined()) m.global->Delete("StyleSheet");
    m.builtinRoots.push_back(proto);

    m.Method(proto, "setStyle", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        if (Object* styles = StylesOf(mm, self); styles && !args.empty())
            SetStyle(mm, styles, mm.ToString(args[0]), Arg(args, 1));
        return Value();
    });
    m.Method(proto, "getStyle", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Object* styles = StylesOf(mm, self);
        const Property* p = styles && !args.empty() ? styles->Find(LowerCaseText(mm.ToString(args[0]))) : nullptr;
        return p ? Value(CopyOf(mm, p->value)) : Value::Null();
    });
    m.Method(proto, "getStyleNames", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        std::vector<Value> names;
        if (Object* styles = StylesOf(mm, self))
            for (const std::string& n : NamesOf(styles)) names.emplace_back(n);
        return Value(mm.NewArray(names));
    });
    m.Method(proto, "clear", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        if (self.IsObject()) self.object->Define("$styles", Value(mm.NewObject()), kDontEnum);
        return Value();
    });
    // parseCSS(text): the rules join the sheet (a selector named again takes the new values);
    // false, and nothing added, when the text is no style sheet.
    m.Method(proto, "parseCSS", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Object* styles = StylesOf(mm, self);
        bool ok = false;
        const std::vector<text::CssRule> rules = text::ParseCss(mm.ToString(Arg(args, 0)), &ok);
        if (!styles || !ok) return Value(false);
        for (const text::CssRule& rule : rules) {
            const Property* had = styles->Find(rule.selector);
            Object* style = had && had->value.IsObject() ? CopyOf(mm, had->value) : mm.NewObject();
            for (const auto& [k, v] : rule.properties) style->Define(k, Value(v));
            SetStyle(mm, styles, rule.selector, Value(style));
        }
        return Value(true);
    });
    // transform(style): the TextFormat a style gives.
    m.Method(proto, "transform", [](Machine& mm, const Value&, std::span<const Value> args) -> Value {
        const Value& style = Arg(args, 0);
        if (!style.IsObject()) return Value::Null();
        const Value ctor = mm.Get(mm.global, "TextFormat");
        Value fmt = ctor.IsObject() ? mm.Construct(ctor, {}) : Value();
        if (!fmt.IsObject()) return Value::Null();
        text::CssRule rule{"x", {}};
        for (const std::string& k : style.object->Keys())
            rule.properties.emplace_back(k, mm.ToString(mm.Get(style.object, k)));
        const text::CssStyle st = text::StyleSheetOf({rule})["x"];
        static const char* const kAligns[] = {"left", "right", "center", "justify"};
        if (st.face) fmt.object->Define("font", Value(*st.face));
        if (st.height) fmt.object->Define("size", Value(*st.height / 20));
        if (st.color) fmt.object->Define("color", Value(double(st.color->r << 16 | st.color->g << 8 | st.color->b)));
        if (st.bold) fmt.object->Define("bold", Value(*st.bold));
        if (st.italic) fmt.object->Define("italic", Value(*st.italic));
        if (st.align) fmt.object->Define("align", Value(kAligns[*st.align & 3]));
        return fmt;
    });
    LoadMethods(m, proto, "parseCSS");

    // TextField.styleSheet: the sheet as given; the field formats its HTML by the sheet's
    // rules as they stand when it is given.
    Accessor(
        m, m.textFieldProto, "styleSheet",
        [](Machine&, const Value& self, std::span<const Value>) -> Value {
            const Property* p = self.IsObject() ? self.object->Find("$styleSheet") : nullptr;
            return p ? p->value : Value();
        },
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            Clip c = mm.ClipOf(self);
            if (!c || !mm.HostRef().IsTextField(c)) return Value();
            self.object->Define("$styleSheet", Arg(args, 0), kDontEnum);
            mm.HostRef().FieldSet(c, "styleSheet", Value(StyleSheetText(mm, Arg(args, 0))));
            return Value();
        },
        kDontEnum | kSince7);
}

}  // namespace lumarel::engine::avm1

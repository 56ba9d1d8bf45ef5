// TextField and TextFormat. A field is a display object that scripts reach like a clip (by name,
// with _x, _y, _alpha, ...); its own properties (text, htmlText, autoSize, border, ...) are
// getter/setter pairs on TextField.prototype that go to the host. TextFormat is a plain object
// of format entries, null where a format says nothing.
#include <cmath>

#include "engine/avm1/builtins/shared.h"
#include "engine/avm1/utf8.h"

namespace lumarel::engine::avm1 {

namespace {

// The field's own properties, as the host names them.
const char* const kFieldProps[] = {
    "text",       "htmlText",  "html",       "length",           "textWidth",     "textHeight",      "autoSize",
    "wordWrap",   "multiline", "border",     "borderColor",      "background",    "backgroundColor", "textColor",
    "selectable", "type",      "variable",   "embedFonts",       "maxChars",      "password",        "scroll",
    "maxscroll",  "hscroll",   "maxhscroll", "bottomScroll",     "condenseWhite", "antiAliasType",   "gridFitType",
    "sharpness",  "thickness", "restrict",   "mouseWheelEnabled"};

// TextFormat's entries, in the constructor's argument order first.
const char* const kFormatProps[] = {"font",    "size",        "color",  "bold",       "italic",      "underline",
                                    "url",     "target",      "align",  "leftMargin", "rightMargin", "indent",
                                    "leading", "blockIndent", "bullet", "tabStops",   "kerning",     "letterSpacing"};
constexpr size_t kConstructorArgs = 13;

Clip FieldOf(Machine& m, const Value& self) {
    Clip c = m.ClipOf(self);
    return c && m.HostRef().IsTextField(c) ? c : nullptr;
}

Object* NewFormat(Machine& m) {
    const Value ctor = m.Get(m.global, "TextFormat");
    const Value proto = ctor.IsObject() ? m.Get(ctor.object, "prototype") : Value();
    Object* f = m.NewObject(proto.IsObject() ? proto.object : m.objectProto);
    for (const char* name : kFormatProps) f->Define(name, Value::Null());
    return f;
}

// The characters a format call names with its first `count` arguments: none, the whole field;
// one, that character; two, [begin, end). False for a run that names no character.
bool RangeOf(Machine& m, std::span<const Value> args, size_t count, size_t& begin, size_t& end) {
    begin = 0;
    end = Host::kWholeField;
    if (count == 0) return true;
    const double b = m.ToNumber(args[0]);
    const double e = count >= 2 ? m.ToNumber(args[1]) : b + 1;
    if (!(b >= 0)) return count < 2;  // a negative start formats the whole field
    if (!(e > b)) return false;
    begin = static_cast<size_t>(std::min(b, 1e15));
    end = static_cast<size_t>(std::min(e, 1e15));
    return true;
}

}  // namespace

void InstallTextField(Machine& m) {
    Object* proto = m.textFieldProto;
    Object* ctor = m.Class("TextField", nullptr, nullptr, proto);
    for (const char* name : kFieldProps) {
        const std::string prop = name;
        Accessor(
            m, proto, name,
            [prop](Machine& mm, const Value& self, std::span<const Value>) -> Value {
                Clip c = FieldOf(mm, self);
                return c ? mm.HostRef().FieldGet(c, prop) : Value();
            },
            [prop](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
                if (Clip c = FieldOf(mm, self)) mm.HostRef().FieldSet(c, prop, Arg(args, 0));
                return Value();
            },
            kDontEnum | kSince6);
    }
    // getTextFormat([begin, [end]]): the field's format, or that of one character or a run.
    m.Method(proto, "getTextFormat", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Clip c = FieldOf(mm, self);
        Object* f = NewFormat(mm);
        size_t begin, end;
        if (c && RangeOf(mm, args, args.size(), begin, end))
            for (const char* name : kFormatProps) f->Define(name, mm.HostRef().FormatGet(c, begin, end, name));
        return Value(f);
    });
    // setTextFormat([begin, [end,]] format): the format's entries that are set, for the field,
    // one character or a run. setNewTextFormat formats the whole field.
    auto setFormat = [](Machine& mm, const Value& self, std::span<const Value> args, bool ranged) -> Value {
        Clip c = FieldOf(mm, self);
        const Value& fmt = args.empty() ? Value() : args.back();
        size_t begin, end;
        if (!c || !fmt.IsObject() || !RangeOf(mm, args, ranged ? args.size() - 1 : 0, begin, end)) return Value();
        for (const char* name : kFormatProps) {
            const Value v = mm.Get(fmt.object, name);
            if (!v.IsNullish()) mm.HostRef().FormatSet(c, begin, end, name, v);
        }
        return Value();
    };
    m.Method(proto, "setTextFormat", [setFormat](Machine& mm, const Value& self, std::span<const Value> args) {
        return setFormat(mm, self, args, true);
    });
    m.Method(proto, "setNewTextFormat", [setFormat](Machine& mm, const Value& self, std::span<const Value> args) {
        return setFormat(mm, self, args, false);
    });
    m.Method(proto, "getNewTextFormat", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        return mm.CallMethod(self, "getTextFormat", {});
    });
    m.Method(proto, "removeTextField", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        if (Clip c = FieldOf(mm, self)) mm.HostRef().RemoveClip(c);
        return Value();
    });
    m.Method(proto, "getDepth", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        int depth;
        Clip c = FieldOf(mm, self);
        return c && mm.HostRef().Depth(c, depth) ? Value(depth) : Value();
    });
    m.Method(proto, "replaceSel", [](Machine&, const Value&, std::span<const Value>) { return Value(); });
    m.Method(proto, "replaceText", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Clip c = FieldOf(mm, self);
        if (!c || args.size() < 3) return Value();
        const std::string text = mm.ToString(mm.HostRef().FieldGet(c, "text"));
        const Utf8Chars chars(text);
        const double b = mm.ToNumber(args[0]), e = mm.ToNumber(args[1]);
        if (!(b >= 0 && e >= b)) return Value();
        const auto from = static_cast<size_t>(std::min<double>(b, double(chars.Count())));
        const auto to = static_cast<size_t>(std::min<double>(e, double(chars.Count())));
        mm.HostRef().FieldSet(c, "text",
                              Value(chars.Sub(0, from) + mm.ToString(args[2]) + chars.Sub(to, chars.Count())));
        return Value();
    });
    m.Method(ctor, "getFontList", [](Machine& mm, const Value&, std::span<const Value>) -> Value {
        return Value(mm.NewArray({Value("_sans"), Value("_serif"), Value("_typewriter")}));
    });

    Object* movieClip = m.movieClipProto;
    m.Method(movieClip, "createTextField", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Clip c = mm.ClipOf(self);
        if (!c || args.size() < 6) return Value();
        double n[5];
        for (int i = 0; i < 5; ++i) n[i] = mm.ToNumber(args[size_t(i) + 1]);
        if (!std::isfinite(n[0])) return Value();
        for (double& v : n) v = std::isfinite(v) ? v : 0;
        Clip made = mm.HostRef().CreateTextField(c, mm.ToString(args[0]), static_cast<int>(std::trunc(n[0])), n[1],
                                                 n[2], n[3], n[4]);
        return made ? Value(mm.ClipObject(made)) : Value();
    });

    Object* formatProto = m.NewObject(m.objectProto);
    m.Class(
        "TextFormat", nullptr,
        [](Machine&, const Value& self, std::span<const Value> args) -> Value {
            if (!self.IsObject()) return Value();
            for (size_t i = 0; i < std::size(kFormatProps); ++i)
                self.object->Define(kFormatProps[i], i < kConstructorArgs && i < args.size() ? args[i] : Value::Null());
            return Value();
        },
        formatProto);
    // getTextExtent(text[, width]): the room the text takes in this format, and the size of a
    // field that would hold it (2 px of padding each side).
    m.Method(formatProto, "getTextExtent", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        if (!self.IsObject() || args.empty()) return Value();
        Host::TextMeasure t;
        const Value font = mm.Get(self.object, "font"), size = mm.Get(self.object, "size");
        if (!font.IsNullish()) t.face = mm.ToString(font);
        if (!size.IsNullish()) t.size = mm.ToNumber(size);
        t.bold = mm.ToBoolean(mm.Get(self.object, "bold"));
        t.italic = mm.ToBoolean(mm.Get(self.object, "italic"));
        const double wrap = args.size() > 1 ? mm.ToNumber(args[1]) : 0;
        if (!mm.HostRef().MeasureText(mm.ToString(args[0]), std::isfinite(wrap) ? wrap : 0, t)) return Value();
        Object* out = mm.NewObject();
        out->Define("ascent", Value(t.ascent));
        out->Define("descent", Value(t.descent));
        out->Define("width", Value(t.width));
        out->Define("height", Value(t.height));
        out->Define("textFieldHeight", Value(t.height + 4));
        out->Define("textFieldWidth", Value(wrap > 0 ? wrap : t.width + 4));
        return Value(out);
    });
}

}  // namespace lumarel::engine::avm1

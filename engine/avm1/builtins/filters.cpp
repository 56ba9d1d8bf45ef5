// The flash.filters package: BlurFilter, DropShadowFilter, GlowFilter, BevelFilter,
// GradientGlowFilter, GradientBevelFilter, ConvolutionFilter and ColorMatrixFilter. Each is a
// plain object whose fields scripts read and write directly (constructor arguments in order,
// defaults for those left out) with clone(); FilterOf reads one into a filter record, clamping
// every field into the range the effect takes.
#include "engine/avm1/builtins/filters.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace lumarel::engine::avm1 {

namespace {

enum class Kind { Blur, DropShadow, Glow, Bevel, GradientGlow, GradientBevel, Convolution, ColorMatrix };

// Marks an object made by one of the constructors, so that FilterOf knows what it is.
struct FilterTag : ObjectData {
    explicit FilterTag(Kind k) : kind(k) {}
    Kind kind;
};

// A field and its default: a number, a boolean, a string, an empty array, or (for the colour
// matrix) the identity.
struct Field {
    enum Type { Number, Boolean, String, Array, Identity } type;
    const char* name;
    double number = 0;
    const char* string = nullptr;
};
Field N(const char* name, double v) { return {Field::Number, name, v}; }
Field B(const char* name, bool v) { return {Field::Boolean, name, v ? 1.0 : 0.0}; }

struct Class {
    Kind kind;
    const char* name;
    std::vector<Field> fields;
};

const std::vector<Class>& Classes() {
    static const std::vector<Field> gradient = {N("distance", 4),
                                                N("angle", 45),
                                                {Field::Array, "colors"},
                                                {Field::Array, "alphas"},
                                                {Field::Array, "ratios"},
                                                N("blurX", 4),
                                                N("blurY", 4),
                                                N("strength", 1),
                                                N("quality", 1),
                                                {Field::String, "type", 0, "inner"},
                                                B("knockout", false)};
    static const std::vector<Class> classes = {
        {Kind::Blur, "BlurFilter", {N("blurX", 4), N("blurY", 4), N("quality", 1)}},
        {Kind::DropShadow,
         "DropShadowFilter",
         {N("distance", 4), N("angle", 45), N("color", 0), N("alpha", 1), N("blurX", 4), N("blurY", 4),
          N("strength", 1), N("quality", 1), B("inner", false), B("knockout", false), B("hideObject", false)}},
        {Kind::Glow,
         "GlowFilter",
         {N("color", 0xFF0000), N("alpha", 1), N("blurX", 6), N("blurY", 6), N("strength", 2), N("quality", 1),
          B("inner", false), B("knockout", false)}},
        {Kind::Bevel,
         "BevelFilter",
         {N("distance", 4),
          N("angle", 45),
          N("highlightColor", 0xFFFFFF),
          N("highlightAlpha", 1),
          N("shadowColor", 0),
          N("shadowAlpha", 1),
          N("blurX", 4),
          N("blurY", 4),
          N("strength", 1),
          N("quality", 1),
          {Field::String, "type", 0, "inner"},
          B("knockout", false)}},
        {Kind::GradientGlow, "GradientGlowFilter", gradient},
        {Kind::GradientBevel, "GradientBevelFilter", gradient},
        {Kind::Convolution,
         "ConvolutionFilter",
         {N("matrixX", 0),
          N("matrixY", 0),
          {Field::Array, "matrix"},
          N("divisor", 1),
          N("bias", 0),
          B("preserveAlpha", true),
          B("clamp", true),
          N("color", 0),
          N("alpha", 0)}},
        {Kind::ColorMatrix, "ColorMatrixFilter", {{Field::Identity, "matrix"}}},
    };
    return classes;
}

Value Default(Machine& m, const Field& f) {
    switch (f.type) {
        case Field::Number:
            return Value(f.number);
        case Field::Boolean:
            return Value(f.number != 0);
        case Field::String:
            return Value(std::string(f.string));
        case Field::Array:
            return Value(m.NewArray());
        case Field::Identity:
            break;
    }
    std::vector<Value> identity(20, Value(0.0));
    for (int i = 0; i < 4; ++i) identity[i * 6] = Value(1.0);
    return Value(m.NewArray(identity));
}

// An array's copy, so a clone does not share its lists with the original.
Value Copy(Machine& m, const Value& v) {
    if (!v.IsObject() || v.object->kind != ObjectKind::Array) return v;
    std::vector<Value> items;
    for (uint32_t i = 0; i < v.object->length && i < 4096; ++i) items.push_back(m.ArrayGet(v.object, i));
    return Value(m.NewArray(items));
}

const Class* ClassOf(const Value& v) {
    const auto* tag = v.object ? dynamic_cast<const FilterTag*>(v.object->data.get()) : nullptr;
    if (!tag) return nullptr;
    for (const Class& c : Classes())
        if (c.kind == tag->kind) return &c;
    return nullptr;
}

// --- reading a filter object

struct Reader {
    Machine& m;
    Object* o;
    double Num(const char* name, double lo, double hi) {
        const double v = m.ToNumber(m.Get(o, name));
        return std::isnan(v) ? lo < 0 && hi > 0 ? 0 : lo : std::clamp(v, lo, hi);
    }
    bool Bool(const char* name) { return m.ToBoolean(m.Get(o, name)); }
    int Passes() { return static_cast<int>(Num("quality", 0, 15)); }
    double Angle() {
        const double a = m.ToNumber(m.Get(o, "angle"));
        return std::isfinite(a) ? std::fmod(a, 360) * std::numbers::pi / 180 : 0;
    }
    raster::Rgba Color(const char* rgb, const char* alpha) {
        const uint32_t c = ToUint32(m.ToNumber(m.Get(o, rgb)));
        return {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c),
                static_cast<uint8_t>(std::lround(Num(alpha, 0, 1) * 255))};
    }
    std::vector<Value> List(const char* name, uint32_t max) {
        std::vector<Value> out;
        const Value a = m.Get(o, name);
        if (!a.IsObject()) return out;
        const double n = m.ToNumber(m.Get(a.object, "length"));
        for (uint32_t i = 0; i < max && i < n; ++i) out.push_back(m.ArrayGet(a.object, i));
        return out;
    }
    // inner, outer or full (the effect over the object as well as around it).
    void Type(bool& inner, bool& onTop) {
        const std::string t = m.ToString(m.Get(o, "type"));
        inner = t == "inner";
        onTop = t == "full";
    }
};

constexpr int kMaxGradientColors = 16;
constexpr int kMaxKernelSide = 15;

swf::GradientFilterFields Gradient(Reader& r) {
    swf::GradientFilterFields g;
    const std::vector<Value> colors = r.List("colors", kMaxGradientColors),
                             alphas = r.List("alphas", kMaxGradientColors),
                             ratios = r.List("ratios", kMaxGradientColors);
    const size_t n = std::min({colors.size(), alphas.size(), ratios.size()});
    for (size_t i = 0; i < n; ++i) {
        const uint32_t c = ToUint32(r.m.ToNumber(colors[i]));
        double a = r.m.ToNumber(alphas[i]), ratio = r.m.ToNumber(ratios[i]);
        a = std::isnan(a) ? 0 : std::clamp(a, 0.0, 1.0);
        ratio = std::isnan(ratio) ? 0 : std::clamp(ratio, 0.0, 255.0);
        g.stops.push_back({static_cast<uint8_t>(ratio),
                           {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c),
                            static_cast<uint8_t>(std::lround(a * 255))}});
    }
    g.blurX = r.Num("blurX", 0, 255);
    g.blurY = r.Num("blurY", 0, 255);
    g.angle = r.Angle();
    g.distance = r.Num("distance", -32768, 32767);
    g.strength = r.Num("strength", 0, 255);
    g.passes = r.Passes();
    g.knockout = r.Bool("knockout");
    r.Type(g.inner, g.onTop);
    return g;
}

swf::Filter Read(Reader& r, Kind kind) {
    switch (kind) {
        case Kind::Blur:
            return swf::BlurFilter{r.Num("blurX", 0, 255), r.Num("blurY", 0, 255), r.Passes()};
        case Kind::DropShadow: {
            swf::DropShadowFilter f;
            f.color = r.Color("color", "alpha");
            f.blurX = r.Num("blurX", 0, 255);
            f.blurY = r.Num("blurY", 0, 255);
            f.angle = r.Angle();
            f.distance = r.Num("distance", -32768, 32767);
            f.strength = r.Num("strength", 0, 255);
            f.inner = r.Bool("inner");
            f.knockout = r.Bool("knockout");
            f.compositeSource = !r.Bool("hideObject");
            f.passes = r.Passes();
            return f;
        }
        case Kind::Glow: {
            swf::GlowFilter f;
            f.color = r.Color("color", "alpha");
            f.blurX = r.Num("blurX", 0, 255);
            f.blurY = r.Num("blurY", 0, 255);
            f.strength = r.Num("strength", 0, 255);
            f.inner = r.Bool("inner");
            f.knockout = r.Bool("knockout");
            f.passes = r.Passes();
            return f;
        }
        case Kind::Bevel: {
            swf::BevelFilter f;
            f.highlightColor = r.Color("highlightColor", "highlightAlpha");
            f.shadowColor = r.Color("shadowColor", "shadowAlpha");
            f.blurX = r.Num("blurX", 0, 255);
            f.blurY = r.Num("blurY", 0, 255);
            f.angle = r.Angle();
            f.distance = r.Num("distance", -32768, 32767);
            f.strength = r.Num("strength", 0, 255);
            f.knockout = r.Bool("knockout");
            r.Type(f.inner, f.onTop);
            f.passes = r.Passes();
            return f;
        }
        case Kind::GradientGlow:
            return swf::GradientGlowFilter{Gradient(r)};
        case Kind::GradientBevel:
            return swf::GradientBevelFilter{Gradient(r)};
        case Kind::Convolution: {
            swf::ConvolutionFilter f;
            f.matrixX = static_cast<int>(r.Num("matrixX", 0, kMaxKernelSide));
            f.matrixY = static_cast<int>(r.Num("matrixY", 0, kMaxKernelSide));
            for (const Value& v : r.List("matrix", kMaxKernelSide * kMaxKernelSide)) {
                const double w = r.m.ToNumber(v);
                f.matrix.push_back(std::isfinite(w) ? static_cast<float>(std::clamp(w, -1e6, 1e6)) : 0.0f);
            }
            f.divisor = static_cast<float>(r.Num("divisor", -1e6, 1e6));
            f.bias = static_cast<float>(r.Num("bias", -1e6, 1e6));
            f.preserveAlpha = r.Bool("preserveAlpha");
            f.clamp = r.Bool("clamp");
            f.defaultColor = r.Color("color", "alpha");
            return f;
        }
        case Kind::ColorMatrix:
            break;
    }
    swf::ColorMatrixFilter f;
    const std::vector<Value> items = r.List("matrix", 20);
    for (size_t i = 0; i < items.size(); ++i) {
        const double w = r.m.ToNumber(items[i]);
        f.matrix[i] = std::isfinite(w) ? static_cast<float>(std::clamp(w, -1e6, 1e6)) : 0.0f;
    }
    return f;
}

}  // namespace

std::optional<swf::Filter> FilterOf(Machine& m, const Value& v) {
    const Class* c = ClassOf(v);
    if (!c) return std::nullopt;
    Reader r{m, v.object};
    return Read(r, c->kind);
}

void InstallFilters(Machine& m) {
    const Value flash = m.Get(m.global, "flash");
    if (!flash.IsObject()) return;
    Object* ns = m.NewObject();
    flash.object->Define("filters", Value(ns), kDontEnum | kSince8);
    for (const Class& c : Classes()) {
        Object* proto = m.NewObject();
        const Class* cls = &c;
        Object* ctor = m.NewFunction(
            [cls](Machine& mm, const Value& self, std::span<const Value> args) {
                if (!self.object || self.object->data) return Value();
                self.object->data = std::make_unique<FilterTag>(cls->kind);
                for (size_t i = 0; i < cls->fields.size(); ++i) {
                    const Field& f = cls->fields[i];
                    self.object->Define(f.name, i < args.size() && !args[i].IsUndefined() ? args[i] : Default(mm, f));
                }
                return Value();
            },
            proto);
        ns->Define(c.name, Value(ctor), kDontEnum);
        // clone(): a new filter of the same class with the same settings.
        m.Method(proto, "clone", [](Machine& mm, const Value& self, std::span<const Value>) {
            const Class* k = ClassOf(self);
            if (!k) return Value();
            Object* o = mm.NewObject(self.object->proto);
            o->data = std::make_unique<FilterTag>(k->kind);
            for (const Field& f : k->fields) o->Define(f.name, Copy(mm, mm.Get(self.object, f.name)));
            return Value(o);
        });
    }
}

}  // namespace lumarel::engine::avm1

// The flash.geom package: Point, Rectangle, Matrix and ColorTransform (plain script objects
// whose fields scripts read and write directly), and Transform, which reads and changes a
// clip's matrix and colour transform. Script matrices are in pixels; clips keep theirs in twips.
#include <cmath>

#include "engine/avm1/builtins/shared.h"

namespace lumarel::engine::avm1 {

namespace {

constexpr double kTwips = 20;

// The prototypes the package makes its objects from (each method's results are of these classes).
struct Protos {
    Object* point;
    Object* rectangle;
    Object* matrix;
    Object* colorTransform;
    Object* transform;
};

double Num(Machine& m, const Value& o, const char* name) { return m.ToNumber(m.GetMember(o, name)); }

// An object of a class with the given fields, in order.
Object* Make(Machine& m, Object* proto, std::initializer_list<std::pair<const char*, Value>> fields) {
    Object* o = m.NewObject(proto);
    for (const auto& [name, v] : fields) o->Define(name, v);
    return o;
}

// Constructor arguments: each one left out takes its default; those given are kept as they are.
void Fields(Object* o, std::span<const Value> args, std::initializer_list<std::pair<const char*, double>> fields) {
    size_t i = 0;
    for (const auto& [name, def] : fields) {
        o->Define(name, i < args.size() ? args[i] : Value(def));
        ++i;
    }
}

// "(x=1, y=2)": each field as the script would print it.
std::string Describe(Machine& m, const Value& self, std::initializer_list<std::pair<const char*, const char*>> fields) {
    std::string out = "(";
    for (const auto& [label, name] : fields) {
        if (out.size() > 1) out += ", ";
        out += std::string(label) + "=" + m.ToString(m.GetMember(self, name));
    }
    return out + ")";
}

// A native method whose `self` is read by the script's own rules (anything works; missing
// fields are undefined and so NaN in arithmetic).
using Fn = Value (*)(Machine&, const Protos&, const Value&, std::span<const Value>);
void Add(Machine& m, Object* target, const char* name, const Protos& p, Fn fn) {
    m.Method(target, name,
             [p, fn](Machine& mm, const Value& self, std::span<const Value> args) { return fn(mm, p, self, args); });
}

// --- Point

Value NewPoint(Machine& m, const Protos& p, double x, double y) {
    return Value(Make(m, p.point, {{"x", Value(x)}, {"y", Value(y)}}));
}
double Length(double x, double y) { return std::sqrt(x * x + y * y); }

void InstallPoint(Machine& m, Object* geom, const Protos& p) {
    Object* ctor = m.NewFunction(
        [](Machine&, const Value& self, std::span<const Value> args) {
            if (self.object) Fields(self.object, args, {{"x", 0}, {"y", 0}});
            return Value();
        },
        p.point);
    geom->Define("Point", Value(ctor), kDontEnum);
    Object* proto = p.point;
    Accessor(m, proto, "length", [](Machine& mm, const Value& self, std::span<const Value>) {
        return Value(Length(Num(mm, self, "x"), Num(mm, self, "y")));
    });
    Add(m, proto, "add", p, [](Machine& mm, const Protos& pp, const Value& self, std::span<const Value> args) {
        const Value& v = Arg(args, 0);
        return NewPoint(mm, pp, Num(mm, self, "x") + Num(mm, v, "x"), Num(mm, self, "y") + Num(mm, v, "y"));
    });
    Add(m, proto, "subtract", p, [](Machine& mm, const Protos& pp, const Value& self, std::span<const Value> args) {
        const Value& v = Arg(args, 0);
        return NewPoint(mm, pp, Num(mm, self, "x") - Num(mm, v, "x"), Num(mm, self, "y") - Num(mm, v, "y"));
    });
    Add(m, proto, "equals", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        const Value& v = Arg(args, 0);
        return Value(v.IsObject() && Num(mm, self, "x") == Num(mm, v, "x") && Num(mm, self, "y") == Num(mm, v, "y"));
    });
    // normalize(length): scales the point to that distance from (0, 0); (0, 0) stays where it is.
    Add(m, proto, "normalize", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        const double x = Num(mm, self, "x"), y = Num(mm, self, "y"), len = Length(x, y);
        if (len > 0) {
            const double k = mm.ToNumber(Arg(args, 0)) / len;
            mm.SetMember(self, "x", Value(x * k));
            mm.SetMember(self, "y", Value(y * k));
        }
        return Value();
    });
    Add(m, proto, "offset", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        mm.SetMember(self, "x", Value(Num(mm, self, "x") + mm.ToNumber(Arg(args, 0))));
        mm.SetMember(self, "y", Value(Num(mm, self, "y") + mm.ToNumber(Arg(args, 1))));
        return Value();
    });
    Add(m, proto, "clone", p, [](Machine& mm, const Protos& pp, const Value& self, std::span<const Value>) {
        return Value(Make(mm, pp.point, {{"x", mm.GetMember(self, "x")}, {"y", mm.GetMember(self, "y")}}));
    });
    Add(m, proto, "toString", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value>) {
        return Value(Describe(mm, self, {{"x", "x"}, {"y", "y"}}));
    });
    Add(m, ctor, "distance", p, [](Machine& mm, const Protos&, const Value&, std::span<const Value> args) {
        const Value &a = Arg(args, 0), &b = Arg(args, 1);
        return Value(Length(Num(mm, b, "x") - Num(mm, a, "x"), Num(mm, b, "y") - Num(mm, a, "y")));
    });
    // interpolate(pt1, pt2, f): pt1 when f is 1, pt2 when f is 0.
    Add(m, ctor, "interpolate", p, [](Machine& mm, const Protos& pp, const Value&, std::span<const Value> args) {
        const Value &a = Arg(args, 0), &b = Arg(args, 1);
        const double f = mm.ToNumber(Arg(args, 2)), bx = Num(mm, b, "x"), by = Num(mm, b, "y");
        return NewPoint(mm, pp, bx + (Num(mm, a, "x") - bx) * f, by + (Num(mm, a, "y") - by) * f);
    });
    Add(m, ctor, "polar", p, [](Machine& mm, const Protos& pp, const Value&, std::span<const Value> args) {
        const double len = mm.ToNumber(Arg(args, 0)), angle = mm.ToNumber(Arg(args, 1));
        return NewPoint(mm, pp, len * std::cos(angle), len * std::sin(angle));
    });
}

// --- Rectangle

struct Box {
    double x, y, w, h;
};
Box BoxOf(Machine& m, const Value& r) {
    return {Num(m, r, "x"), Num(m, r, "y"), Num(m, r, "width"), Num(m, r, "height")};
}
Value NewRectangle(Machine& m, const Protos& p, const Box& b) {
    return Value(
        Make(m, p.rectangle, {{"x", Value(b.x)}, {"y", Value(b.y)}, {"width", Value(b.w)}, {"height", Value(b.h)}}));
}
void SetBox(Machine& m, const Value& self, const Box& b) {
    m.SetMember(self, "x", Value(b.x));
    m.SetMember(self, "y", Value(b.y));
    m.SetMember(self, "width", Value(b.w));
    m.SetMember(self, "height", Value(b.h));
}
bool Empty(const Box& b) { return !(b.w > 0 && b.h > 0); }
bool Inside(const Box& b, double x, double y) { return x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h; }

// The edge properties: each getter reads the box, each setter moves one edge (or corner) and
// keeps the opposite one where it was.
struct Edge {
    const char* name;
    Value (*get)(Machine&, const Protos&, const Box&);
    void (*set)(Machine&, Box&, const Value&);
};
const Edge kEdges[] = {
    {"left", [](Machine&, const Protos&, const Box& b) { return Value(b.x); },
     [](Machine& m, Box& b, const Value& v) {
         const double x = m.ToNumber(v);
         b.w -= x - b.x;
         b.x = x;
     }},
    {"top", [](Machine&, const Protos&, const Box& b) { return Value(b.y); },
     [](Machine& m, Box& b, const Value& v) {
         const double y = m.ToNumber(v);
         b.h -= y - b.y;
         b.y = y;
     }},
    {"right", [](Machine&, const Protos&, const Box& b) { return Value(b.x + b.w); },
     [](Machine& m, Box& b, const Value& v) { b.w = m.ToNumber(v) - b.x; }},
    {"bottom", [](Machine&, const Protos&, const Box& b) { return Value(b.y + b.h); },
     [](Machine& m, Box& b, const Value& v) { b.h = m.ToNumber(v) - b.y; }},
    {"topLeft", [](Machine& m, const Protos& p, const Box& b) { return NewPoint(m, p, b.x, b.y); },
     [](Machine& m, Box& b, const Value& v) {
         const double x = Num(m, v, "x"), y = Num(m, v, "y");
         b.w -= x - b.x;
         b.h -= y - b.y;
         b.x = x;
         b.y = y;
     }},
    {"bottomRight", [](Machine& m, const Protos& p, const Box& b) { return NewPoint(m, p, b.x + b.w, b.y + b.h); },
     [](Machine& m, Box& b, const Value& v) {
         b.w = Num(m, v, "x") - b.x;
         b.h = Num(m, v, "y") - b.y;
     }},
    {"size", [](Machine& m, const Protos& p, const Box& b) { return NewPoint(m, p, b.w, b.h); },
     [](Machine& m, Box& b, const Value& v) {
         b.w = Num(m, v, "x");
         b.h = Num(m, v, "y");
     }},
};

void InstallRectangle(Machine& m, Object* geom, const Protos& p) {
    Object* ctor = m.NewFunction(
        [](Machine&, const Value& self, std::span<const Value> args) {
            if (self.object) Fields(self.object, args, {{"x", 0}, {"y", 0}, {"width", 0}, {"height", 0}});
            return Value();
        },
        p.rectangle);
    geom->Define("Rectangle", Value(ctor), kDontEnum);
    Object* proto = p.rectangle;
    for (const Edge& e : kEdges) {
        Accessor(
            m, proto, e.name,
            [p, get = e.get](Machine& mm, const Value& self, std::span<const Value>) {
                return get(mm, p, BoxOf(mm, self));
            },
            [set = e.set](Machine& mm, const Value& self, std::span<const Value> args) {
                Box b = BoxOf(mm, self);
                set(mm, b, Arg(args, 0));
                SetBox(mm, self, b);
                return Value();
            });
    }
    Add(m, proto, "clone", p, [](Machine& mm, const Protos& pp, const Value& self, std::span<const Value>) {
        Object* r = mm.NewObject(pp.rectangle);
        for (const char* f : {"x", "y", "width", "height"}) r->Define(f, mm.GetMember(self, f));
        return Value(r);
    });
    Add(m, proto, "contains", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        return Value(Inside(BoxOf(mm, self), mm.ToNumber(Arg(args, 0)), mm.ToNumber(Arg(args, 1))));
    });
    Add(m, proto, "containsPoint", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        return Value(Inside(BoxOf(mm, self), Num(mm, Arg(args, 0), "x"), Num(mm, Arg(args, 0), "y")));
    });
    Add(m, proto, "containsRectangle", p,
        [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
            const Box a = BoxOf(mm, self), b = BoxOf(mm, Arg(args, 0));
            return Value(b.x >= a.x && b.y >= a.y && b.x + b.w <= a.x + a.w && b.y + b.h <= a.y + a.h);
        });
    Add(m, proto, "equals", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        if (!Arg(args, 0).IsObject()) return Value(false);
        const Box a = BoxOf(mm, self), b = BoxOf(mm, Arg(args, 0));
        return Value(a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h);
    });
    // inflate(dx, dy): grows the rectangle by dx on the left and right, dy on the top and bottom.
    Add(m, proto, "inflate", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        const double dx = mm.ToNumber(Arg(args, 0)), dy = mm.ToNumber(Arg(args, 1));
        const Box b = BoxOf(mm, self);
        SetBox(mm, self, {b.x - dx, b.y - dy, b.w + 2 * dx, b.h + 2 * dy});
        return Value();
    });
    Add(m, proto, "inflatePoint", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        const double dx = Num(mm, Arg(args, 0), "x"), dy = Num(mm, Arg(args, 0), "y");
        const Box b = BoxOf(mm, self);
        SetBox(mm, self, {b.x - dx, b.y - dy, b.w + 2 * dx, b.h + 2 * dy});
        return Value();
    });
    // intersection: the overlap, or an all-zero rectangle when there is none.
    Add(m, proto, "intersection", p, [](Machine& mm, const Protos& pp, const Value& self, std::span<const Value> args) {
        const Box a = BoxOf(mm, self), b = BoxOf(mm, Arg(args, 0));
        const double x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
        const double x1 = std::min(a.x + a.w, b.x + b.w), y1 = std::min(a.y + a.h, b.y + b.h);
        return NewRectangle(mm, pp, x0 < x1 && y0 < y1 ? Box{x0, y0, x1 - x0, y1 - y0} : Box{0, 0, 0, 0});
    });
    Add(m, proto, "intersects", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        const Box a = BoxOf(mm, self), b = BoxOf(mm, Arg(args, 0));
        return Value(std::max(a.x, b.x) < std::min(a.x + a.w, b.x + b.w) &&
                     std::max(a.y, b.y) < std::min(a.y + a.h, b.y + b.h));
    });
    Add(m, proto, "isEmpty", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value>) {
        return Value(Empty(BoxOf(mm, self)));
    });
    Add(m, proto, "offset", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        mm.SetMember(self, "x", Value(Num(mm, self, "x") + mm.ToNumber(Arg(args, 0))));
        mm.SetMember(self, "y", Value(Num(mm, self, "y") + mm.ToNumber(Arg(args, 1))));
        return Value();
    });
    Add(m, proto, "offsetPoint", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        mm.SetMember(self, "x", Value(Num(mm, self, "x") + Num(mm, Arg(args, 0), "x")));
        mm.SetMember(self, "y", Value(Num(mm, self, "y") + Num(mm, Arg(args, 0), "y")));
        return Value();
    });
    Add(m, proto, "setEmpty", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value>) {
        SetBox(mm, self, {0, 0, 0, 0});
        return Value();
    });
    // union: the smallest rectangle holding both; an empty one adds nothing.
    Add(m, proto, "union", p, [](Machine& mm, const Protos& pp, const Value& self, std::span<const Value> args) {
        const Box a = BoxOf(mm, self), b = BoxOf(mm, Arg(args, 0));
        if (Empty(a)) return NewRectangle(mm, pp, b);
        if (Empty(b)) return NewRectangle(mm, pp, a);
        const double x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
        const double x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
        return NewRectangle(mm, pp, {x0, y0, x1 - x0, y1 - y0});
    });
    Add(m, proto, "toString", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value>) {
        return Value(Describe(mm, self, {{"x", "x"}, {"y", "y"}, {"w", "width"}, {"h", "height"}}));
    });
}

// --- Matrix

void SetMatrixFields(Machine& m, const Value& self, const raster::Matrix& x) {
    const std::pair<const char*, double> fields[] = {{"a", x.a}, {"b", x.b},   {"c", x.c},
                                                     {"d", x.d}, {"tx", x.tx}, {"ty", x.ty}};
    for (const auto& [name, v] : fields) m.SetMember(self, name, Value(v));
}
Value NewMatrix(Machine& m, const Protos& p, const raster::Matrix& x) {
    return Value(Make(m, p.matrix,
                      {{"a", Value(x.a)},
                       {"b", Value(x.b)},
                       {"c", Value(x.c)},
                       {"d", Value(x.d)},
                       {"tx", Value(x.tx)},
                       {"ty", Value(x.ty)}}));
}
// The matrix after `then` is applied on top of what it did already.
void Then(Machine& m, const Value& self, const raster::Matrix& then) {
    SetMatrixFields(m, self, then.Multiply(MatrixOf(m, self)));
}
raster::Matrix Rotation(double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return {c, s, -s, c, 0, 0};
}
// createBox's matrix: rotated (radians), then scaled, then moved. createGradientBox measures the
// scale in units of the gradient square and moves the square's centre to the box's.
raster::Matrix BoxMatrix(Machine& m, std::span<const Value> args, double unit, bool centred) {
    const double sx = m.ToNumber(Arg(args, 0)), sy = m.ToNumber(Arg(args, 1));
    const double angle = args.size() > 2 ? m.ToNumber(args[2]) : 0;
    raster::Matrix r = raster::Matrix{sx / unit, 0, 0, sy / unit, 0, 0}.Multiply(Rotation(angle));
    r.tx = (args.size() > 3 ? m.ToNumber(args[3]) : 0) + (centred ? sx / 2 : 0);
    r.ty = (args.size() > 4 ? m.ToNumber(args[4]) : 0) + (centred ? sy / 2 : 0);
    return r;
}

void InstallMatrix(Machine& m, Object* geom, const Protos& p) {
    Object* ctor = m.NewFunction(
        [](Machine&, const Value& self, std::span<const Value> args) {
            if (self.object) Fields(self.object, args, {{"a", 1}, {"b", 0}, {"c", 0}, {"d", 1}, {"tx", 0}, {"ty", 0}});
            return Value();
        },
        p.matrix);
    geom->Define("Matrix", Value(ctor), kDontEnum);
    Object* proto = p.matrix;
    Add(m, proto, "clone", p, [](Machine& mm, const Protos& pp, const Value& self, std::span<const Value>) {
        Object* r = mm.NewObject(pp.matrix);
        for (const char* f : {"a", "b", "c", "d", "tx", "ty"}) r->Define(f, mm.GetMember(self, f));
        return Value(r);
    });
    // concat(m): this matrix followed by m.
    Add(m, proto, "concat", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        Then(mm, self, MatrixOf(mm, Arg(args, 0)));
        return Value();
    });
    Add(m, proto, "createBox", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        SetMatrixFields(mm, self, BoxMatrix(mm, args, 1, false));
        return Value();
    });
    // createGradientBox(width, height, ...): the gradient square (1638.4 pixels wide) onto a box of
    // that size whose corner is at (tx, ty).
    Add(m, proto, "createGradientBox", p,
        [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
            SetMatrixFields(mm, self, BoxMatrix(mm, args, 1638.4, true));
            return Value();
        });
    Add(m, proto, "deltaTransformPoint", p,
        [](Machine& mm, const Protos& pp, const Value& self, std::span<const Value> args) {
            raster::Matrix x = MatrixOf(mm, self);
            x.tx = x.ty = 0;
            double ox, oy;
            x.Apply(Num(mm, Arg(args, 0), "x"), Num(mm, Arg(args, 0), "y"), ox, oy);
            return NewPoint(mm, pp, ox, oy);
        });
    Add(m, proto, "transformPoint", p,
        [](Machine& mm, const Protos& pp, const Value& self, std::span<const Value> args) {
            double ox, oy;
            MatrixOf(mm, self).Apply(Num(mm, Arg(args, 0), "x"), Num(mm, Arg(args, 0), "y"), ox, oy);
            return NewPoint(mm, pp, ox, oy);
        });
    Add(m, proto, "identity", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value>) {
        SetMatrixFields(mm, self, raster::Matrix{});
        return Value();
    });
    // invert: a matrix that cannot be inverted becomes the identity.
    Add(m, proto, "invert", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value>) {
        SetMatrixFields(mm, self, MatrixOf(mm, self).Inverted());
        return Value();
    });
    Add(m, proto, "rotate", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        Then(mm, self, Rotation(mm.ToNumber(Arg(args, 0))));
        return Value();
    });
    Add(m, proto, "scale", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        Then(mm, self, {mm.ToNumber(Arg(args, 0)), 0, 0, mm.ToNumber(Arg(args, 1)), 0, 0});
        return Value();
    });
    Add(m, proto, "translate", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        Then(mm, self, {1, 0, 0, 1, mm.ToNumber(Arg(args, 0)), mm.ToNumber(Arg(args, 1))});
        return Value();
    });
    Add(m, proto, "toString", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value>) {
        return Value(Describe(mm, self, {{"a", "a"}, {"b", "b"}, {"c", "c"}, {"d", "d"}, {"tx", "tx"}, {"ty", "ty"}}));
    });
}

// --- ColorTransform

void SetColorFields(Machine& m, const Value& self, const raster::ColorTransform& c) {
    for (size_t i = 0; i < 8; ++i) m.SetMember(self, kColorFields[i], Value(c.*kColorMembers[i]));
}
Value NewColorTransform(Machine& m, const Protos& p, const raster::ColorTransform& c) {
    Object* o = m.NewObject(p.colorTransform);
    for (size_t i = 0; i < 8; ++i) o->Define(kColorFields[i], Value(c.*kColorMembers[i]));
    return Value(o);
}
void InstallColorTransform(Machine& m, Object* geom, const Protos& p) {
    Object* ctor = m.NewFunction(
        [](Machine&, const Value& self, std::span<const Value> args) {
            if (!self.object) return Value();
            Fields(self.object, args,
                   {{kColorFields[0], 1},
                    {kColorFields[1], 1},
                    {kColorFields[2], 1},
                    {kColorFields[3], 1},
                    {kColorFields[4], 0},
                    {kColorFields[5], 0},
                    {kColorFields[6], 0},
                    {kColorFields[7], 0}});
            return Value();
        },
        p.colorTransform);
    geom->Define("ColorTransform", Value(ctor), kDontEnum);
    Object* proto = p.colorTransform;
    // rgb: the three colour offsets as 0xRRGGBB; setting it makes the clip that flat colour
    // (colour multipliers 0), leaving alpha alone.
    Accessor(
        m, proto, "rgb",
        [](Machine& mm, const Value& self, std::span<const Value>) { return Value(Rgb(ColorOf(mm, self))); },
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            raster::ColorTransform c = ColorOf(mm, self);
            SetRgb(c, mm.ToNumber(Arg(args, 0)));
            SetColorFields(mm, self, c);
            return Value();
        });
    // concat(second): the transform that applies `second` first, then this one.
    Add(m, proto, "concat", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value> args) {
        if (Arg(args, 0).IsObject()) SetColorFields(mm, self, ColorOf(mm, self).Concat(ColorOf(mm, args[0])));
        return Value();
    });
    Add(m, proto, "toString", p, [](Machine& mm, const Protos&, const Value& self, std::span<const Value>) {
        std::string out = "(";
        for (const char* f : kColorFields)
            out += std::string(out.size() > 1 ? ", " : "") + f + "=" + mm.ToString(mm.GetMember(self, f));
        return Value(out + ")");
    });
}

// --- Transform

void InstallTransform(Machine& m, Object* geom, const Protos& p) {
    Object* ctor = m.NewFunction(
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            if (self.object) self.object->clip = mm.ClipOf(Arg(args, 0));
            return Value();
        },
        p.transform);
    geom->Define("Transform", Value(ctor), kDontEnum);
    Object* proto = p.transform;
    for (const bool concatenated : {false, true}) {
        NativeFn setMatrix, setColor;
        if (!concatenated) {
            setMatrix = [](Machine& mm, const Value& self, std::span<const Value> args) {
                Clip c = TargetClip(mm, self);
                if (!c || !Arg(args, 0).IsObject()) return Value();
                raster::Matrix x = MatrixOf(mm, args[0]);
                x.tx *= kTwips;
                x.ty *= kTwips;
                mm.HostRef().SetMatrix(c, x);
                return Value();
            };
            setColor = [](Machine& mm, const Value& self, std::span<const Value> args) {
                Clip c = TargetClip(mm, self);
                if (c && Arg(args, 0).IsObject()) mm.HostRef().SetColor(c, FixedColor(ColorOf(mm, args[0])));
                return Value();
            };
        }
        Accessor(
            m, proto, concatenated ? "concatenatedMatrix" : "matrix",
            [p, concatenated](Machine& mm, const Value& self, std::span<const Value>) {
                Clip c = TargetClip(mm, self);
                raster::Matrix x;
                if (!c || !mm.HostRef().GetMatrix(c, concatenated, x)) return Value();
                x.tx /= kTwips;
                x.ty /= kTwips;
                return NewMatrix(mm, p, x);
            },
            std::move(setMatrix));
        Accessor(
            m, proto, concatenated ? "concatenatedColorTransform" : "colorTransform",
            [p, concatenated](Machine& mm, const Value& self, std::span<const Value>) {
                Clip c = TargetClip(mm, self);
                raster::ColorTransform x;
                if (!c || !mm.HostRef().GetColor(c, concatenated, x)) return Value();
                return NewColorTransform(mm, p, x);
            },
            std::move(setColor));
    }
    // pixelBounds: the clip's bounds on the stage.
    Accessor(m, proto, "pixelBounds", [p](Machine& mm, const Value& self, std::span<const Value>) {
        Clip c = TargetClip(mm, self);
        Host::Rect r;
        if (!c) return Value();
        if (!mm.HostRef().Bounds(c, mm.HostRef().Root(), r)) r = Host::Rect{};
        return NewRectangle(mm, p, {r.xMin, r.yMin, r.xMax - r.xMin, r.yMax - r.yMin});
    });
}

}  // namespace

void InstallGeom(Machine& m) {
    const Protos p{m.NewObject(), m.NewObject(), m.NewObject(), m.NewObject(), m.NewObject()};
    for (Object* o : {p.point, p.rectangle, p.matrix, p.colorTransform, p.transform}) m.builtinRoots.push_back(o);
    // System may have made _global.flash already (flash.external): the package joins it.
    Property* flash = m.global->FindAny("flash");
    Object* ns = flash && flash->value.IsObject() ? flash->value.object : nullptr;
    if (!ns) {
        ns = m.NewObject();
        m.global->Define("flash", Value(ns), kDontEnum);
    }
    Object* geom = m.NewObject();
    ns->Define("geom", Value(geom), kDontEnum | kSince8);
    InstallPoint(m, geom, p);
    InstallRectangle(m, geom, p);
    InstallMatrix(m, geom, p);
    InstallColorTransform(m, geom, p);
    InstallTransform(m, geom, p);
}

}  // namespace lumarel::engine::avm1

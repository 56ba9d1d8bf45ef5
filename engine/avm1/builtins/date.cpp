// Date: a time value in milliseconds since 1970 (UTC) with local-time and UTC fields. The host
// supplies the current time and the local time zone's offset.
#include <cmath>
#include <cstdio>

#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

namespace {

constexpr double kMsPerDay = 86400000.0;

// Days since 1970-01-01 of a proleptic Gregorian date (month 0..11, any day; months beyond the
// year carry over).
double DaysFromCivil(double year, double month, double day) {
    year += std::floor(month / 12);
    month = std::fmod(month, 12);
    if (month < 0) month += 12;
    const double y = month < 2 ? year - 1 : year;
    const double era = std::floor(y / 400);
    const double yoe = y - era * 400;
    const double mp = month < 2 ? month + 10 : month - 2;  // March = 0
    const double doy = std::floor((153 * mp + 2) / 5) + day - 1;
    const double doe = yoe * 365 + std::floor(yoe / 4) - std::floor(yoe / 100) + doy;
    return era * 146097 + doe - 719468;
}

struct Fields {
    double year, month, day, hours, minutes, seconds, ms, weekday;
};

Fields Split(double t) {
    Fields f{};
    const double days = std::floor(t / kMsPerDay);
    double rest = t - days * kMsPerDay;
    f.hours = std::floor(rest / 3600000);
    rest -= f.hours * 3600000;
    f.minutes = std::floor(rest / 60000);
    rest -= f.minutes * 60000;
    f.seconds = std::floor(rest / 1000);
    f.ms = rest - f.seconds * 1000;
    f.weekday = std::fmod(days + 4, 7);
    if (f.weekday < 0) f.weekday += 7;
    // Civil date from days (inverse of DaysFromCivil).
    const double z = days + 719468;
    const double era = std::floor(z / 146097);
    const double doe = z - era * 146097;
    const double yoe =
        std::floor((doe - std::floor(doe / 1460) + std::floor(doe / 36524) - std::floor(doe / 146096)) / 365);
    const double doy = doe - (365 * yoe + std::floor(yoe / 4) - std::floor(yoe / 100));
    const double mp = std::floor((5 * doy + 2) / 153);
    f.day = doy - std::floor((153 * mp + 2) / 5) + 1;
    f.month = mp < 10 ? mp + 2 : mp - 10;
    f.year = yoe + era * 400 + (f.month < 2 ? 1 : 0);
    return f;
}

double Join(const Fields& f) {
    return DaysFromCivil(f.year, f.month, f.day) * kMsPerDay + f.hours * 3600000 + f.minutes * 60000 +
           f.seconds * 1000 + f.ms;
}

double TimeClip(double t) {
    if (!std::isfinite(t) || std::fabs(t) > 8.64e15) return NAN;
    return std::trunc(t);
}

double Offset(Machine& m, double utc) { return std::isfinite(utc) ? m.HostRef().LocalOffset(utc) : 0; }

Object* DateOf(const Value& self) {
    return self.IsObject() && self.object->kind == ObjectKind::Date ? self.object : nullptr;
}

// Fields from arguments (year, month[, day, hours, minutes, seconds, ms]); NaN on a bad one.
double FromArgs(Machine& m, std::span<const Value> args) {
    double v[7] = {NAN, 0, 1, 0, 0, 0, 0};
    for (size_t i = 0; i < args.size() && i < 7; ++i) v[i] = m.ToNumber(args[i]);
    for (double x : v)
        if (!std::isfinite(x)) return NAN;
    double year = std::trunc(v[0]);
    if (year >= 0 && year <= 99) year += 1900;
    return Join(Fields{year, std::trunc(v[1]), std::trunc(v[2]), std::trunc(v[3]), std::trunc(v[4]), std::trunc(v[5]),
                       std::trunc(v[6]), 0});
}

std::string Text(Machine& m, double t) {
    if (std::isnan(t)) return "Invalid Date";
    const double offset = Offset(m, t);
    const Fields f = Split(t + offset);
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int minutes = static_cast<int>(std::lround(offset / 60000));
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s %s %d %02d:%02d:%02d GMT%c%02d%02d %d", kDays[static_cast<int>(f.weekday)],
                  kMonths[static_cast<int>(f.month)], static_cast<int>(f.day), static_cast<int>(f.hours),
                  static_cast<int>(f.minutes), static_cast<int>(f.seconds), minutes < 0 ? '-' : '+',
                  std::abs(minutes) / 60, std::abs(minutes) % 60, static_cast<int>(f.year));
    return buf;
}

// Field indexes for the getter/setter table.
enum Field { kYear, kMonth, kDay, kHours, kMinutes, kSeconds, kMs };

double& FieldRef(Fields& f, int i) {
    double* p[] = {&f.year, &f.month, &f.day, &f.hours, &f.minutes, &f.seconds, &f.ms};
    return *p[i];
}

}  // namespace

void InstallDate(Machine& m) {
    Object* proto = m.dateProto;
    auto construct = [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Object* o = self.IsObject() ? self.object : mm.NewObject(mm.dateProto);
        o->kind = ObjectKind::Date;
        double t;
        if (args.empty()) {
            t = std::floor(mm.HostRef().UtcNow());
        } else if (args.size() == 1) {
            t = mm.ToNumber(args[0]);
        } else {
            const double local = FromArgs(mm, args);
            t = local - Offset(mm, local);
        }
        o->primitive = Value(TimeClip(t));
        return Value(o);
    };
    Object* ctor = m.Class(
        "Date",
        [](Machine& mm, const Value&, std::span<const Value>) {
            return Value(Text(mm, std::floor(mm.HostRef().UtcNow())));
        },
        construct, proto);
    m.Method(ctor, "UTC", [](Machine& mm, const Value&, std::span<const Value> args) {
        return Value(TimeClip(FromArgs(mm, args)));
    });
    auto time = [](const Value& self) {
        Object* d = DateOf(self);
        return d ? d->primitive.number : NAN;
    };
    m.Method(proto, "getTime",
             [time](Machine&, const Value& self, std::span<const Value>) { return Value(time(self)); });
    m.Method(proto, "valueOf",
             [time](Machine&, const Value& self, std::span<const Value>) { return Value(time(self)); });
    m.Method(proto, "toString",
             [time](Machine& mm, const Value& self, std::span<const Value>) { return Value(Text(mm, time(self))); });
    m.Method(proto, "getTimezoneOffset", [time](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        const double t = time(self);
        return std::isnan(t) ? Value(NAN) : Value(-Offset(mm, t) / 60000);
    });
    m.Method(proto, "setTime", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Object* d = DateOf(self);
        if (!d) return Value();
        d->primitive = Value(TimeClip(mm.ToNumber(Arg(args, 0))));
        return d->primitive;
    });
    struct Accessor {
        const char* name;
        int field;
    };
    const Accessor fields[] = {{"FullYear", kYear},   {"Month", kMonth},     {"Date", kDay},       {"Hours", kHours},
                               {"Minutes", kMinutes}, {"Seconds", kSeconds}, {"Milliseconds", kMs}};
    for (bool utc : {false, true}) {
        const std::string infix = utc ? "UTC" : "";
        for (const Accessor& a : fields) {
            const int field = a.field;
            m.Method(proto, "get" + infix + a.name,
                     [time, utc, field](Machine& mm, const Value& self, std::span<const Value>) -> Value {
                         const double t = time(self);
                         if (std::isnan(t)) return Value(NAN);
                         Fields f = Split(utc ? t : t + Offset(mm, t));
                         return Value(FieldRef(f, field));
                     });
            // setX(v[, more fields to its right]): the fields after X are optional.
            m.Method(proto, "set" + infix + a.name,
                     [time, utc, field](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
                         Object* d = DateOf(self);
                         if (!d) return Value();
                         double t = time(self);
                         if (std::isnan(t)) t = 0;
                         const double offset = utc ? 0 : Offset(mm, t);
                         Fields f = Split(t + offset);
                         for (size_t i = 0; i < args.size() && field + static_cast<int>(i) <= kMs; ++i)
                             FieldRef(f, field + static_cast<int>(i)) = std::trunc(mm.ToNumber(args[i]));
                         const double local = Join(f);
                         d->primitive = Value(TimeClip(utc ? local : local - Offset(mm, local)));
                         return d->primitive;
                     });
        }
        m.Method(proto, "get" + infix + "Day",
                 [time, utc](Machine& mm, const Value& self, std::span<const Value>) -> Value {
                     const double t = time(self);
                     if (std::isnan(t)) return Value(NAN);
                     return Value(Split(utc ? t : t + Offset(mm, t)).weekday);
                 });
    }
    m.Method(proto, "getYear", [time](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        const double t = time(self);
        return std::isnan(t) ? Value(NAN) : Value(Split(t + Offset(mm, t)).year - 1900);
    });
}

}  // namespace lumarel::engine::avm1

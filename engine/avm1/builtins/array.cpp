// The Array class: construction, the stack and queue methods, slicing and splicing, joining,
// and the sorts with their option flags. Elements are ordinary properties "0".."length-1", so
// an array may be sparse; every method that walks the indices charges the walk to the script's
// action budget first, so `new Array(4e9).join()` stops the script instead of hanging it.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/avm1/machine.h"
#include "engine/avm1/utf8.h"

namespace lumarel::engine::avm1 {

// Case folding shared with String.toLowerCase (string.cpp).

namespace {

enum SortFlag : int { kCaseInsensitive = 1, kDescending = 2, kUniqueSort = 4, kReturnIndexedArray = 8, kNumeric = 16 };

// A joined string longer than this stops the script rather than exhausting memory.
constexpr size_t kMaxJoinBytes = size_t(1) << 27;

// One element as read from an array: a hole is not present and stays a hole when written back.
struct Slot {
    Value value;
    bool present = false;
};

void Charge(Machine& m, uint64_t n) {
    for (uint64_t i = 0; i < n; ++i) m.CountAction();
}

Object* ThisArray(const Value& self) {
    return self.object && self.object->kind == ObjectKind::Array ? self.object : nullptr;
}

// Elements [from, to) of `a`, charged to the budget before anything is allocated.
std::vector<Slot> ReadSlots(Machine& m, Object* a, uint32_t from, uint32_t to) {
    std::vector<Slot> out;
    if (to <= from) return out;
    Charge(m, to - from);
    out.reserve(to - from);
    for (uint32_t i = from; i < to; ++i) {
        const std::string name = std::to_string(i);
        Slot s;
        s.value = m.Get(a, name);
        s.present = a->Find(name) || !s.value.IsUndefined();
        out.push_back(std::move(s));
    }
    return out;
}

// Writes `slots` from index `at` on, holes deleted, then sets the length.
void WriteSlots(Machine& m, Object* a, uint32_t at, const std::vector<Slot>& slots, uint32_t newLength) {
    for (size_t k = 0; k < slots.size(); ++k) {
        const uint64_t i = uint64_t(at) + k;
        if (i >= 4294967295u) break;
        const std::string name = std::to_string(i);
        if (slots[k].present) {
            m.Set(a, name, slots[k].value);
        } else {
            a->Delete(name);
        }
    }
    m.ArraySetLength(a, newLength);
}

Object* ArrayOf(Machine& m, const std::vector<Slot>& slots) {
    Object* r = m.NewArray();
    WriteSlots(m, r, 0, slots, static_cast<uint32_t>(std::min<size_t>(slots.size(), 4294967295u)));
    return r;
}

// A relative index as slice and splice take it: negative counts from the end, clamped to [0, len].
uint32_t RelativeIndex(Machine& m, const Value& v, uint32_t len, uint32_t fallback) {
    if (v.IsUndefined()) return fallback;
    const double n = ToInteger(m.ToNumber(v));
    if (n < 0) return static_cast<uint32_t>(std::max(0.0, double(len) + n));
    return static_cast<uint32_t>(std::min(n, double(len)));
}

// Fills a fresh array from constructor arguments: one number is a length, anything else the items.
Value Fill(Machine& m, Object* a, std::span<const Value> args) {
    a->kind = ObjectKind::Array;
    if (args.size() == 1 && args[0].type == Type::Number) {
        const double n = ToInteger(args[0].number);
        a->length = n >= 0 && n <= 4294967295.0 ? static_cast<uint32_t>(n) : 0;
        return Value(a);
    }
    Charge(m, args.size());
    for (size_t i = 0; i < args.size() && i < 4294967295u; ++i) a->Define(std::to_string(i), args[i]);
    a->length = static_cast<uint32_t>(std::min<size_t>(args.size(), 4294967295u));
    return Value(a);
}

std::string Join(Machine& m, Object* a, const std::string& sep) {
    std::string out;
    const uint32_t len = a->length;
    Charge(m, len);
    for (uint32_t i = 0; i < len; ++i) {
        if (i) out += sep;
        const Value v = m.ArrayGet(a, i);
        // Undefined elements print as "undefined" whatever the movie's version.
        out += v.IsUndefined() ? std::string("undefined") : m.ToString(v);
        if (out.size() > kMaxJoinBytes) m.Abort("joined string too long");
    }
    return out;
}

// --- sorting

// A sort key prepared once per element, so toString / valueOf run once rather than per comparison.
struct Key {
    bool undefined = false;
    double number = 0;
    std::string text;
};

Key MakeKey(Machine& m, const Value& v, int flags) {
    Key k;
    if (v.IsUndefined()) {
        k.undefined = true;
    } else if (flags & kNumeric) {
        k.number = m.ToNumber(v);
    } else {
        k.text = m.ToString(v);
        if (flags & kCaseInsensitive) k.text = LowerCaseText(k.text);
    }
    return k;
}

// Undefined sorts after everything, NaN after every number.
int CompareKeys(const Key& a, const Key& b, int flags) {
    int r;
    if (a.undefined || b.undefined) {
        r = a.undefined == b.undefined ? 0 : (a.undefined ? 1 : -1);
    } else if (flags & kNumeric) {
        const bool na = std::isnan(a.number), nb = std::isnan(b.number);
        if (na || nb) {
            r = na == nb ? 0 : (na ? 1 : -1);
        } else {
            r = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
        }
    } else {
        const int c = a.text.compare(b.text);
        r = c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    return (flags & kDescending) ? -r : r;
}

// A stable merge sort of positions. It stays in bounds even when `compare` is inconsistent, as a
// script's compare function may well be.
void MergeSort(std::vector<uint32_t>& order, const std::function<int(uint32_t, uint32_t)>& compare) {
    const size_t n = order.size();
    std::vector<uint32_t> buffer(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) buffer[k++] = compare(order[i], order[j]) > 0 ? order[j++] : order[i++];
            while (i < mid) buffer[k++] = order[i++];
            while (j < hi) buffer[k++] = order[j++];
        }
        order.swap(buffer);
    }
}

// Sorts `a` by `compare` (over element positions) and applies the UNIQUESORT and
// RETURNINDEXEDARRAY flags: 0 when two elements compare equal under UNIQUESORT, an array of the
// original positions in sorted order under RETURNINDEXEDARRAY, else the array, sorted in place.
Value SortBy(Machine& m, Object* a, std::vector<Slot>& slots, int flags,
             const std::function<int(uint32_t, uint32_t)>& compare) {
    std::vector<uint32_t> order(slots.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    MergeSort(order, compare);
    if (flags & kUniqueSort) {
        for (size_t i = 1; i < order.size(); ++i)
            if (compare(order[i - 1], order[i]) == 0) return Value(0);
    }
    if (flags & kReturnIndexedArray) {
        std::vector<Value> indices;
        indices.reserve(order.size());
        for (uint32_t i : order) indices.emplace_back(double(i));
        return Value(m.NewArray(indices));
    }
    std::vector<Slot> sorted;
    sorted.reserve(order.size());
    for (uint32_t i : order) sorted.push_back(slots[i]);
    WriteSlots(m, a, 0, sorted, a->length);
    return Value(a);
}

Value Sort(Machine& m, Object* a, std::span<const Value> args) {
    Value fn;
    int flags = 0;
    const Value& first = Arg(args, 0);
    if (first.object && first.object->IsFunction()) {
        fn = first;
        if (args.size() > 1) flags = ToInt32(m.ToNumber(args[1]));
    } else if (!first.IsUndefined()) {
        flags = ToInt32(m.ToNumber(first));
    }
    std::vector<Slot> slots = ReadSlots(m, a, 0, a->length);
    if (fn.IsObject()) {
        return SortBy(m, a, slots, flags, [&](uint32_t x, uint32_t y) {
            const Value& vx = slots[x].value;
            const Value& vy = slots[y].value;
            int r;
            if (vx.IsUndefined() || vy.IsUndefined()) {
                r = vx.IsUndefined() == vy.IsUndefined() ? 0 : (vx.IsUndefined() ? 1 : -1);
            } else {
                const Value pair[] = {vx, vy};
                const double d = m.ToNumber(m.Call(fn, Value(), pair));
                r = d < 0 ? -1 : (d > 0 ? 1 : 0);  // NaN counts as equal
            }
            return (flags & kDescending) ? -r : r;
        });
    }
    std::vector<Key> keys;
    keys.reserve(slots.size());
    for (const Slot& s : slots) keys.push_back(MakeKey(m, s.value, flags));
    return SortBy(m, a, slots, flags, [&](uint32_t x, uint32_t y) { return CompareKeys(keys[x], keys[y], flags); });
}

Value SortOn(Machine& m, Object* a, std::span<const Value> args) {
    const Value& names = Arg(args, 0);
    std::vector<std::string> fields;
    if (Object* list = ThisArray(names)) {
        for (const Slot& s : ReadSlots(m, list, 0, list->length)) fields.push_back(m.ToString(s.value));
    } else if (!names.IsUndefined()) {
        fields.push_back(m.ToString(names));
    }
    if (fields.empty()) return Value(a);
    // Options: one number for every field, or an array with one number per field (an array of
    // another size is ignored); UNIQUESORT and RETURNINDEXEDARRAY count from the first only.
    std::vector<int> fieldFlags(fields.size(), 0);
    int flags = 0;
    const Value& options = Arg(args, 1);
    if (Object* list = ThisArray(options)) {
        if (list->length == fields.size()) {
            const std::vector<Slot> given = ReadSlots(m, list, 0, list->length);
            for (size_t i = 0; i < fields.size(); ++i) fieldFlags[i] = ToInt32(m.ToNumber(given[i].value));
            flags = fieldFlags[0];
        }
    } else if (!options.IsUndefined()) {
        flags = ToInt32(m.ToNumber(options));
        std::fill(fieldFlags.begin(), fieldFlags.end(), flags);
    }
    std::vector<Slot> slots = ReadSlots(m, a, 0, a->length);
    Charge(m, uint64_t(slots.size()) * fields.size());
    std::vector<std::vector<Key>> keys(slots.size());
    for (size_t i = 0; i < slots.size(); ++i) {
        for (size_t f = 0; f < fields.size(); ++f) {
            const Value v = slots[i].value.IsNullish() ? Value() : m.GetMember(slots[i].value, fields[f]);
            keys[i].push_back(MakeKey(m, v, fieldFlags[f]));
        }
    }
    return SortBy(m, a, slots, flags, [&](uint32_t x, uint32_t y) {
        for (size_t f = 0; f < fields.size(); ++f)
            if (const int r = CompareKeys(keys[x][f], keys[y][f], fieldFlags[f])) return r;
        return 0;
    });
}

// --- the methods

Value Push(Machine& m, Object* a, std::span<const Value> args) {
    Charge(m, args.size());
    for (const Value& v : args) m.ArrayPush(a, v);
    return Value(double(a->length));
}

Value Pop(Machine& m, Object* a) {
    if (a->length == 0) return Value();
    const Value last = m.ArrayGet(a, a->length - 1);
    m.ArraySetLength(a, a->length - 1);
    return last;
}

Value Shift(Machine& m, Object* a) {
    if (a->length == 0) return Value();
    const Value first = m.ArrayGet(a, 0);
    const std::vector<Slot> rest = ReadSlots(m, a, 1, a->length);
    WriteSlots(m, a, 0, rest, a->length - 1);
    return first;
}

Value Unshift(Machine& m, Object* a, std::span<const Value> args) {
    const uint32_t len = a->length;
    if (uint64_t(len) + args.size() >= 4294967295u) m.Abort("array too long");
    Charge(m, args.size());
    std::vector<Slot> all;
    for (const Value& v : args) all.push_back({v, true});
    for (Slot& s : ReadSlots(m, a, 0, len)) all.push_back(std::move(s));
    WriteSlots(m, a, 0, all, static_cast<uint32_t>(all.size()));
    return Value(double(a->length));
}

Value Concat(Machine& m, Object* a, std::span<const Value> args) {
    std::vector<Slot> all = ReadSlots(m, a, 0, a->length);
    for (const Value& v : args) {
        if (Object* other = ThisArray(v)) {
            for (Slot& s : ReadSlots(m, other, 0, other->length)) all.push_back(std::move(s));
        } else {
            m.CountAction();
            all.push_back({v, true});
        }
        if (all.size() >= 4294967295u) m.Abort("array too long");
    }
    return Value(ArrayOf(m, all));
}

Value Slice(Machine& m, Object* a, std::span<const Value> args) {
    const uint32_t len = a->length;
    const uint32_t from = RelativeIndex(m, Arg(args, 0), len, 0);
    const uint32_t to = RelativeIndex(m, Arg(args, 1), len, len);
    return Value(ArrayOf(m, ReadSlots(m, a, from, to)));
}

// splice(start[, deleteCount[, items...]]): without a count everything from start on goes; the
// removed elements come back as an array.
Value Splice(Machine& m, Object* a, std::span<const Value> args) {
    if (args.empty()) return Value();
    const uint32_t len = a->length;
    const uint32_t start = RelativeIndex(m, args[0], len, 0);
    uint32_t count = len - start;
    if (args.size() > 1) {
        const double n = ToInteger(m.ToNumber(args[1]));
        count = static_cast<uint32_t>(std::clamp(n, 0.0, double(len - start)));
    }
    const std::span<const Value> items = args.size() > 2 ? args.subspan(2) : std::span<const Value>();
    if (uint64_t(len) - count + items.size() >= 4294967295u) m.Abort("array too long");
    std::vector<Slot> tail = ReadSlots(m, a, start, len);
    const std::vector<Slot> removed(tail.begin(), tail.begin() + count);
    std::vector<Slot> rewritten;
    Charge(m, items.size());
    for (const Value& v : items) rewritten.push_back({v, true});
    rewritten.insert(rewritten.end(), tail.begin() + count, tail.end());
    // Indices past the new end are dropped by the length.
    WriteSlots(m, a, start, rewritten, static_cast<uint32_t>(start + rewritten.size()));
    return Value(ArrayOf(m, removed));
}

Value Reverse(Machine& m, Object* a) {
    std::vector<Slot> all = ReadSlots(m, a, 0, a->length);
    std::reverse(all.begin(), all.end());
    WriteSlots(m, a, 0, all, a->length);
    return Value();
}

// Registers an Array method that does nothing (undefined) when `this` is no array.
void ArrayMethod(Machine& m, const char* name, std::function<Value(Machine&, Object*, std::span<const Value>)> fn,
                 uint16_t flags = kDontEnum) {
    m.Method(
        m.arrayProto, name,
        [fn = std::move(fn)](Machine& mm, const Value& self, std::span<const Value> args) {
            Object* a = ThisArray(self);
            return a ? fn(mm, a, args) : Value();
        },
        flags);
}

}  // namespace

void InstallArray(Machine& m) {
    Object* ctor = m.Class(
        "Array", [](Machine& mm, const Value&, std::span<const Value> args) { return Fill(mm, mm.NewArray(), args); },
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            return self.object ? Fill(mm, self.object, args) : Value();
        },
        m.arrayProto);
    const std::pair<const char*, int> constants[] = {{"CASEINSENSITIVE", kCaseInsensitive},
                                                     {"DESCENDING", kDescending},
                                                     {"UNIQUESORT", kUniqueSort},
                                                     {"RETURNINDEXEDARRAY", kReturnIndexedArray},
                                                     {"NUMERIC", kNumeric}};
    // The sort options came with version 7 movies, sortOn with version 6.
    for (const auto& [name, value] : constants)
        ctor->Define(name, Value(value), kDontEnum | kDontDelete | kReadOnly | kSince7);

    ArrayMethod(m, "push", Push);
    ArrayMethod(m, "pop", [](Machine& mm, Object* a, std::span<const Value>) { return Pop(mm, a); });
    ArrayMethod(m, "shift", [](Machine& mm, Object* a, std::span<const Value>) { return Shift(mm, a); });
    ArrayMethod(m, "unshift", Unshift);
    ArrayMethod(m, "concat", Concat);
    ArrayMethod(m, "join", [](Machine& mm, Object* a, std::span<const Value> args) {
        const Value& sep = Arg(args, 0);
        return Value(Join(mm, a, sep.IsUndefined() ? std::string(",") : mm.ToString(sep)));
    });
    ArrayMethod(m, "toString", [](Machine& mm, Object* a, std::span<const Value>) { return Value(Join(mm, a, ",")); });
    ArrayMethod(m, "reverse", [](Machine& mm, Object* a, std::span<const Value>) { return Reverse(mm, a); });
    ArrayMethod(m, "slice", Slice);
    ArrayMethod(m, "splice", Splice);
    ArrayMethod(m, "sort", Sort);
    ArrayMethod(m, "sortOn", SortOn, kDontEnum | kSince6);
}

}  // namespace lumarel::engine::avm1

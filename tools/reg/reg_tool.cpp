#include "tools/reg/reg_tool.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace lumarel::tools {

namespace reg = platform::reg;
using platform::HiveRegistry;
using platform::KeyHandle;

namespace {

struct Options {
    std::string command, key;
    std::optional<std::string> name, data;
    std::uint32_t type = reg::Sz;
    bool noNul = false;
};

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The key below HKEY_CURRENT_USER; the root's name in front is optional. Any other root (HKLM,
// HKEY_LOCAL_MACHINE, ...) is refused: this hive holds only the user's own keys, and taking
// "HKLM\\..." for a key of that name under HKCU would store settings where nothing reads them.
std::optional<std::string> KeyBelowRoot(const std::string& key, std::string& error) {
    const std::string first = key.substr(0, key.find('\\'));
    const std::string rest = first.size() < key.size() ? key.substr(first.size() + 1) : std::string();
    if (EqualsIgnoreCase(first, "HKCU") || EqualsIgnoreCase(first, "HKEY_CURRENT_USER")) return rest;
    for (const char* other : {"HKLM", "HKCR", "HKU", "HKCC"}) {
        if (EqualsIgnoreCase(first, other)) {
            error = "'" + first + "': only HKCU (HKEY_CURRENT_USER) is kept in this registry";
            return std::nullopt;
        }
    }
    if (first.size() > 5 && EqualsIgnoreCase(first.substr(0, 5), "HKEY_")) {
        error = "'" + first + "': only HKCU (HKEY_CURRENT_USER) is kept in this registry";
        return std::nullopt;
    }
    return key;
}

const char* TypeName(std::uint32_t type) {
    switch (type) {
        case reg::Sz:
            return "REG_SZ";
        case reg::ExpandSz:
            return "REG_EXPAND_SZ";
        case reg::Binary:
            return "REG_BINARY";
        case reg::Dword:
            return "REG_DWORD";
        case reg::MultiSz:
            return "REG_MULTI_SZ";
        case 0:
            return "REG_NONE";
        default:
            return nullptr;
    }
}

std::optional<std::uint32_t> ParseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    std::uint64_t value = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        char c = text[i];
        int d = (c >= '0' && c <= '9')                 ? c - '0'
                : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                       : -1;
        if (d < 0) return std::nullopt;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::uint32_t> ParseType(const std::string& text) {
    for (std::uint32_t t : {reg::Sz, reg::ExpandSz, reg::Binary, reg::Dword, reg::MultiSz, 0u}) {
        if (EqualsIgnoreCase(text, TypeName(t))) return t;
    }
    return ParseNumber(text);
}

std::optional<std::vector<std::uint8_t>> ParseHex(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ',') continue;
        digits += c;
    }
    if (digits.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        auto byte = ParseNumber("0x" + digits.substr(i, 2));
        if (!byte) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(*byte));
    }
    return out;
}

bool IsText(std::uint32_t type) { return type == reg::Sz || type == reg::ExpandSz || type == reg::MultiSz; }

// One value as "    NAME    TYPE    SIZE    DATA".
void PrintValue(std::ostream& out, const HiveRegistry::ValueInfo& v) {
    const char* typeName = TypeName(v.type);
    std::string type = typeName ? typeName : "REG_" + std::to_string(v.type);
    std::string shown;
    if (v.type == reg::Dword && v.data.size() == 4) {
        std::uint32_t d = static_cast<std::uint32_t>(v.data[0]) | (static_cast<std::uint32_t>(v.data[1]) << 8) |
                          (static_cast<std::uint32_t>(v.data[2]) << 16) | (static_cast<std::uint32_t>(v.data[3]) << 24);
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", d);
        shown = buf;
    } else if (IsText(v.type)) {
        // Text up to its end; NULs inside (REG_MULTI_SZ) shown as \0, a missing final NUL noted.
        std::size_t n = v.data.size();
        if (n > 0 && v.data[n - 1] == 0) --n;
        if (v.type == reg::MultiSz && n > 0 && v.data[n - 1] == 0) --n;
        for (std::size_t i = 0; i < n; ++i) {
            if (v.data[i] == 0) {
                shown += "\\0";
            } else {
                shown += static_cast<char>(v.data[i]);
            }
        }
        if (!v.data.empty() && v.data.back() != 0) shown += "    (no NUL)";
    } else {
        for (std::uint8_t b : v.data) {
            char buf[3];
            std::snprintf(buf, sizeof buf, "%02X", b);
            shown += buf;
        }
    }
    out << "    " << (v.name.empty() ? "(Default)" : v.name) << "    " << type << "    " << v.data.size() << "    "
        << shown << "\n";
}

std::string Describe(long code) {
    switch (code) {
        case reg::FileNotFound:
            return "the key or value was not found";
        case reg::AccessDenied:
            return "access denied (the hive cannot be written)";
        case reg::WriteFault:
            return "the hive could not be written or read";
        default:
            return "error " + std::to_string(code);
    }
}

int Fail(std::ostream& err, const std::string& message) {
    err << "lumarel-reg: " << message << "\n";
    return 1;
}

const char* const kUsage =
    "usage: lumarel-reg query  KEY [/v NAME | /ve]\n"
    "       lumarel-reg add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/nonul] [/f]\n"
    "       lumarel-reg delete KEY [/v NAME | /ve]\n"
    "       lumarel-reg /?     (or --help: this text)\n"
    "\n"
    "Lists and edits the per-user registry of the Linux build, as reg does on Windows.\n"
    "  KEY      a key under HKCU (HKEY_CURRENT_USER); the root's name in front may be left out\n"
    "  /v NAME  the value NAME; without /v or /ve the command acts on the key\n"
    "  /ve      the key's default (unnamed) value\n"
    "  /t TYPE  REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ (strings split by \\0),\n"
    "           REG_DWORD (decimal or 0x hex), REG_BINARY (hex bytes), REG_NONE, or a number\n"
    "  /d DATA  the value's data (default empty)\n"
    "  /nonul   text stored without its closing NUL\n"
    "  /f       accepted, as with reg; nothing asks for confirmation\n";

bool AsksForHelp(const std::vector<std::string>& args) {
    return args.size() == 1 && (args[0] == "/?" || args[0] == "-?" || args[0] == "--help" || args[0] == "-h");
}

std::optional<Options> Parse(const std::vector<std::string>& args, std::string& error) {
    if (args.size() < 2) {
        error = args.empty() ? "no command given; /? for the usage" : "no key given; /? for the usage";
        return std::nullopt;
    }
    Options o;
    o.command = args[0];
    if (!EqualsIgnoreCase(o.command, "query") && !EqualsIgnoreCase(o.command, "add") &&
        !EqualsIgnoreCase(o.command, "delete")) {
        error = "unknown command '" + o.command + "'; /? for the usage";
        return std::nullopt;
    }
    std::optional<std::string> key = KeyBelowRoot(args[1], error);
    if (!key) return std::nullopt;
    o.key = *key;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasNext = i + 1 < args.size();
        if (EqualsIgnoreCase(a, "/v") && hasNext) {
            o.name = args[++i];
        } else if (EqualsIgnoreCase(a, "/ve")) {
            o.name = std::string();
        } else if (EqualsIgnoreCase(a, "/t") && hasNext) {
            auto t = ParseType(args[++i]);
            if (!t) {
                error = "unknown type '" + args[i] + "'";
                return std::nullopt;
            }
            o.type = *t;
        } else if (EqualsIgnoreCase(a, "/d") && hasNext) {
            o.data = args[++i];
        } else if (EqualsIgnoreCase(a, "/nonul")) {
            o.noNul = true;
        } else if (EqualsIgnoreCase(a, "/f")) {
            // Accepted for the sake of "reg add" habits; nothing here asks for confirmation.
        } else {
            error = "unexpected argument '" + a + "'; /? for the usage";
            return std::nullopt;
        }
    }
    return o;
}

// The bytes to store for `o`, or empty with `error` set.
std::optional<std::vector<std::uint8_t>> DataFor(const Options& o, std::string& error) {
    const std::string text = o.data.value_or("");
    std::vector<std::uint8_t> bytes;
    if (IsText(o.type)) {
        if (o.type == reg::MultiSz) {
            // "\0" separates the strings; the list ends with an empty string.
            std::string s;
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (text.compare(i, 2, "\\0") == 0) {
                    s += '\0';
                    ++i;
                } else {
                    s += text[i];
                }
            }
            bytes.assign(s.begin(), s.end());
            if (!o.noNul) {
                bytes.push_back(0);
                if (!text.empty()) bytes.push_back(0);
            }
        } else {
            bytes.assign(text.begin(), text.end());
            if (!o.noNul) bytes.push_back(0);
        }
        return bytes;
    }
    if (o.type == reg::Dword) {
        auto n = ParseNumber(text.empty() ? "0" : text);
        if (!n) {
            error = "'" + text + "' is no DWORD (decimal or 0x hex)";
            return std::nullopt;
        }
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(*n >> (8 * i)));
        return bytes;
    }
    auto hex = ParseHex(text);
    if (!hex) {
        error = "'" + text + "' is no hex byte string";
        return std::nullopt;
    }
    return hex;
}

// Closes a key on every way out.
struct Key {
    HiveRegistry& hive;
    KeyHandle handle = 0;
    ~Key() {
        if (handle != 0) hive.CloseKey(handle);
    }
};

int Query(HiveRegistry& hive, const Options& o, std::ostream& out, std::ostream& err) {
    Key key{hive};
    if (long rc = hive.OpenKey(platform::kCurrentUser, o.key, reg::AllAccess, key.handle); rc != 0) {
        key.handle = 0;
        return Fail(err, "HKEY_CURRENT_USER\\" + o.key + ": " + Describe(rc));
    }
    std::vector<HiveRegistry::ValueInfo> values;
    if (long rc = hive.EnumValues(key.handle, values); rc != 0) return Fail(err, Describe(rc));
    const std::string header = "HKEY_CURRENT_USER" + (o.key.empty() ? std::string() : "\\" + o.key);
    if (o.name) {
        for (const auto& v : values) {
            if (EqualsIgnoreCase(v.name, *o.name)) {
                out << header << "\n";
                PrintValue(out, v);
                return 0;
            }
        }
        return Fail(err, "value '" + *o.name + "' in " + header + ": " + Describe(reg::FileNotFound));
    }
    out << header << "\n";
    for (const auto& v : values) PrintValue(out, v);
    std::vector<std::string> subKeys;
    if (long rc = hive.EnumSubKeys(key.handle, subKeys); rc != 0) return Fail(err, Describe(rc));
    if (!subKeys.empty()) out << "\n";
    for (const auto& s : subKeys) out << header << "\\" << s << "\n";
    return 0;
}

int Add(HiveRegistry& hive, const Options& o, std::ostream& err) {
    std::string error;
    std::optional<std::vector<std::uint8_t>> bytes;
    if (o.name) {
        bytes = DataFor(o, error);
        if (!bytes) return Fail(err, error);
    }
    Key key{hive};
    if (long rc = hive.CreateKey(platform::kCurrentUser, o.key, reg::AllAccess, key.handle); rc != 0) {
        key.handle = 0;
        return Fail(err, "cannot create HKEY_CURRENT_USER\\" + o.key + ": " + Describe(rc));
    }
    if (!o.name) return 0;
    if (long rc = hive.SetValue(key.handle, *o.name, o.type, bytes->data(), static_cast<std::uint32_t>(bytes->size()));
        rc != 0) {
        return Fail(err, "cannot set '" + *o.name + "': " + Describe(rc));
    }
    return 0;
}

int Delete(HiveRegistry& hive, const Options& o, std::ostream& err) {
    if (!o.name) {
        if (long rc = hive.DeleteTree(platform::kCurrentUser, o.key); rc != 0) {
            return Fail(err, "cannot delete HKEY_CURRENT_USER\\" + o.key + ": " + Describe(rc));
        }
        return 0;
    }
    Key key{hive};
    if (long rc = hive.OpenKey(platform::kCurrentUser, o.key, reg::AllAccess, key.handle); rc != 0) {
        key.handle = 0;
        return Fail(err, "HKEY_CURRENT_USER\\" + o.key + ": " + Describe(rc));
    }
    if (long rc = hive.DeleteValue(key.handle, *o.name); rc != 0) {
        return Fail(err, "cannot delete '" + *o.name + "': " + Describe(rc));
    }
    return 0;
}

}  // namespace

int RunRegTool(HiveRegistry& hive, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (AsksForHelp(args)) {
        out << kUsage;
        return 0;
    }
    std::string error;
    std::optional<Options> o = Parse(args, error);
    if (!o) return Fail(err, error);
    if (EqualsIgnoreCase(o->command, "query")) return Query(hive, *o, out, err);
    if (EqualsIgnoreCase(o->command, "add")) return Add(hive, *o, err);
    return Delete(hive, *o, err);
}

}  // namespace lumarel::tools

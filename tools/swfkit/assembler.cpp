// A small assembler for action records, so tests can write scripts as text:
//
//     push "x", 1
//     setvariable
//     loop:
//     push "x"
//     getvariable
//     trace
//     jump loop
//
// One statement per line or between semicolons. Blocks (function, function2, with, try) open
// with "{" at the end of their line and close with "}". Labels are local to their block.
#include <cctype>
#include <cstring>
#include <map>
#include <stdexcept>

#include "tools/swfkit/swfkit.h"

namespace lumarel::swfkit {

namespace {

struct Op {
    const char* name;
    std::uint8_t code;
};

constexpr Op kPlainOps[] = {
    {"nextframe", 0x04},
    {"prevframe", 0x05},
    {"play", 0x06},
    {"stop", 0x07},
    {"togglequality", 0x08},
    {"stopsounds", 0x09},
    {"add", 0x0A},
    {"subtract", 0x0B},
    {"multiply", 0x0C},
    {"divide", 0x0D},
    {"equals", 0x0E},
    {"less", 0x0F},
    {"and", 0x10},
    {"or", 0x11},
    {"not", 0x12},
    {"stringequals", 0x13},
    {"stringlength", 0x14},
    {"stringextract", 0x15},
    {"pop", 0x17},
    {"tointeger", 0x18},
    {"getvariable", 0x1C},
    {"setvariable", 0x1D},
    {"settarget2", 0x20},
    {"stringadd", 0x21},
    {"getproperty", 0x22},
    {"setproperty", 0x23},
    {"clonesprite", 0x24},
    {"removesprite", 0x25},
    {"trace", 0x26},
    {"startdrag", 0x27},
    {"enddrag", 0x28},
    {"stringless", 0x29},
    {"throw", 0x2A},
    {"castop", 0x2B},
    {"implementsop", 0x2C},
    {"random", 0x30},
    {"mbstringlength", 0x31},
    {"chartoascii", 0x32},
    {"asciitochar", 0x33},
    {"gettime", 0x34},
    {"mbstringextract", 0x35},
    {"mbchartoascii", 0x36},
    {"mbasciitochar", 0x37},
    {"delete", 0x3A},
    {"delete2", 0x3B},
    {"definelocal", 0x3C},
    {"callfunction", 0x3D},
    {"return", 0x3E},
    {"modulo", 0x3F},
    {"newobject", 0x40},
    {"definelocal2", 0x41},
    {"initarray", 0x42},
    {"initobject", 0x43},
    {"typeof", 0x44},
    {"targetpath", 0x45},
    {"enumerate", 0x46},
    {"add2", 0x47},
    {"less2", 0x48},
    {"equals2", 0x49},
    {"tonumber", 0x4A},
    {"tostring", 0x4B},
    {"dup", 0x4C},
    {"swap", 0x4D},
    {"getmember", 0x4E},
    {"setmember", 0x4F},
    {"increment", 0x50},
    {"decrement", 0x51},
    {"callmethod", 0x52},
    {"newmethod", 0x53},
    {"instanceof", 0x54},
    {"enumerate2", 0x55},
    {"bitand", 0x60},
    {"bitor", 0x61},
    {"bitxor", 0x62},
    {"shl", 0x63},
    {"shr", 0x64},
    {"ushr", 0x65},
    {"strictequals", 0x66},
    {"greater", 0x67},
    {"stringgreater", 0x68},
    {"extends", 0x69},
};

[[noreturn]] void Fail(const std::string& what, const std::string& line) {
    throw std::invalid_argument("action assembler: " + what + " in '" + line + "'");
}

// Splits the source into statements (newlines and semicolons outside strings).
std::vector<std::string> Statements(std::string_view src) {
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false;
    for (size_t i = 0; i < src.size(); ++i) {
        const char c = src[i];
        if (quoted) {
            cur += c;
            if (c == '\\' && i + 1 < src.size())
                cur += src[++i];
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (c == '"') quoted = true;
        if (c == '\n' || c == ';') {
            out.push_back(cur);
            cur.clear();
            continue;
        }
        cur += c;
    }
    out.push_back(cur);
    std::vector<std::string> trimmed;
    for (std::string& s : out) {
        size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
        if (b != std::string::npos) trimmed.push_back(s.substr(b, e - b + 1));
    }
    return trimmed;
}

// Comma-separated operands; strings keep their quotes so the caller can tell them apart.
std::vector<std::string> Operands(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quoted) {
            if (c == '\\' && i + 1 < s.size()) {
                const char n = s[++i];
                cur += n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n;
                continue;
            }
            cur += c;
            if (c == '"') quoted = false;
            continue;
        }
        if (c == '"') {
            quoted = true;
            cur += c;
            continue;
        }
        if (c == ',') {
            out.push_back(cur);
            cur.clear();
            continue;
        }
        if (c != ' ' && c != '\t') cur += c;
    }
    if (!cur.empty() || !out.empty()) out.push_back(cur);
    return out;
}

std::string Unquote(const std::string& s, const std::string& line) {
    if (s.size() < 2 || s.front() != '"' || s.back() != '"') Fail("expected a string", line);
    return s.substr(1, s.size() - 2);
}

void PutString(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}
void PutU16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void PutU32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Record(Bytes& out, std::uint8_t code, const Bytes& payload) {
    out.push_back(code);
    PutU16(out, static_cast<unsigned>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

Bytes PushPayload(const std::string& operands, const std::string& line) {
    Bytes p;
    for (const std::string& v : Operands(operands)) {
        if (v.empty()) Fail("empty push operand", line);
        if (v.front() == '"') {
            p.push_back(0);
            PutString(p, Unquote(v, line));
        } else if (v == "null") {
            p.push_back(2);
        } else if (v == "undefined") {
            p.push_back(3);
        } else if (v == "true" || v == "false") {
            p.push_back(5);
            p.push_back(v == "true");
        } else if ((v[0] == 'r' || v[0] == 'c') && v.size() > 1 && std::isdigit(static_cast<unsigned char>(v[1]))) {
            const unsigned long n = std::stoul(v.substr(1));
            if (v[0] == 'r') {
                p.push_back(4);
                p.push_back(static_cast<std::uint8_t>(n));
            } else if (n < 256) {
                p.push_back(8);
                p.push_back(static_cast<std::uint8_t>(n));
            } else {
                p.push_back(9);
                PutU16(p, static_cast<unsigned>(n));
            }
        } else {
            size_t used = 0;
            const double d = std::stod(v, &used);
            if (used != v.size()) Fail("bad number " + v, line);
            if (v.find_first_of(".eE") == std::string::npos && d >= -2147483648.0 && d <= 2147483647.0) {
                p.push_back(7);
                PutU32(p, static_cast<std::uint32_t>(static_cast<std::int32_t>(d)));
            } else {
                std::uint64_t bits;
                std::memcpy(&bits, &d, 8);
                p.push_back(6);
                PutU32(p, static_cast<std::uint32_t>(bits >> 32));  // high word first
                PutU32(p, static_cast<std::uint32_t>(bits));
            }
        }
    }
    return p;
}

class Assembler {
public:
    explicit Assembler(std::vector<std::string> st) : st_(std::move(st)) {}

    // Assembles statements from i up to the matching "}" (or the end); i ends after it.
    Bytes Block(size_t& i, bool nested) {
        Bytes out;
        std::map<std::string, size_t> labels;
        struct Fixup {
            size_t at;  // offset field position
            std::string label;
            std::string line;
        };
        std::vector<Fixup> fixups;
        while (i < st_.size()) {
            const std::string line = st_[i++];
            if (line.rfind("}", 0) == 0) {
                if (!nested) Fail("unbalanced }", line);
                --i;  // the caller looks at "} catch {" forms
                break;
            }
            if (line.back() == ':' && line.find(' ') == std::string::npos) {
                labels[line.substr(0, line.size() - 1)] = out.size();
                continue;
            }
            const size_t sp = line.find(' ');
            std::string op = line.substr(0, sp), rest = sp == std::string::npos ? "" : line.substr(sp + 1);
            for (char& c : op) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (op == "jump" || op == "if") {
                Record(out, op == "jump" ? 0x99 : 0x9D, Bytes{0, 0});
                fixups.push_back(Fixup{out.size() - 2, rest, line});
                continue;
            }
            if (Statement(out, op, rest, line, i)) continue;
            bool found = false;
            for (const Op& o : kPlainOps)
                if (op == o.name) {
                    out.push_back(o.code);
                    found = true;
                }
            if (!found) Fail("unknown action " + op, line);
        }
        for (const Fixup& f : fixups) {
            auto it = labels.find(f.label);
            if (it == labels.end()) Fail("unknown label " + f.label, f.line);
            const long offset = static_cast<long>(it->second) - static_cast<long>(f.at + 2);
            out[f.at] = static_cast<std::uint8_t>(offset & 0xFF);
            out[f.at + 1] = static_cast<std::uint8_t>((offset >> 8) & 0xFF);
        }
        return out;
    }

private:
    // The body of a block opened on the previous statement, with its closing "}" consumed.
    Bytes Body(size_t& i, std::string* after = nullptr) {
        Bytes b = Block(i, true);
        if (i >= st_.size()) Fail("missing }", "");
        if (after) *after = st_[i];
        ++i;
        return b;
    }

    bool Statement(Bytes& out, const std::string& op, const std::string& rest, const std::string& line, size_t& i) {
        Bytes p;
        if (op == "push") {
            Record(out, 0x96, PushPayload(rest, line));
        } else if (op == "constants") {
            const std::vector<std::string> v = Operands(rest);
            PutU16(p, static_cast<unsigned>(v.size()));
            for (const std::string& s : v) PutString(p, Unquote(s, line));
            Record(out, 0x88, p);
        } else if (op == "store") {
            p.push_back(static_cast<std::uint8_t>(std::stoul(rest.substr(1))));
            Record(out, 0x87, p);
        } else if (op == "gotoframe") {
            PutU16(p, static_cast<unsigned>(std::stoul(rest)));
            Record(out, 0x81, p);
        } else if (op == "gotolabel" || op == "settarget") {
            PutString(p, Unquote(rest, line));
            Record(out, op == "gotolabel" ? 0x8C : 0x8B, p);
        } else if (op == "geturl") {
            const std::vector<std::string> v = Operands(rest);
            if (v.size() != 2) Fail("geturl needs url, target", line);
            PutString(p, Unquote(v[0], line));
            PutString(p, Unquote(v[1], line));
            Record(out, 0x83, p);
        } else if (op == "call") {
            Record(out, 0x9E, p);
        } else if (op == "geturl2") {
            p.push_back(static_cast<std::uint8_t>(rest.empty() ? 0 : std::stoul(rest, nullptr, 0)));
            Record(out, 0x9A, p);
        } else if (op == "gotoframe2") {
            const std::vector<std::string> v = Operands(rest);
            const bool play = !v.empty() && v[0] == "play";
            p.push_back(static_cast<std::uint8_t>((play ? 1 : 0) | (v.size() > 1 ? 2 : 0)));
            if (v.size() > 1) PutU16(p, static_cast<unsigned>(std::stoul(v[1])));
            Record(out, 0x9F, p);
        } else if (op == "function" || op == "function2") {
            Function(out, op == "function2", rest, line, i);
        } else if (op == "with") {
            Bytes body = Body(i);
            PutU16(p, static_cast<unsigned>(body.size()));
            Record(out, 0x94, p);
            out.insert(out.end(), body.begin(), body.end());
        } else if (op == "try") {
            Try(out, rest, line, i);
        } else {
            return false;
        }
        return true;
    }

    // function NAME(a, b) {   or   function2 NAME(r1:a, b) regs=N flags=0xHH {
    void Function(Bytes& out, bool v2, const std::string& rest, const std::string& line, size_t& i) {
        const size_t open = rest.find('('), close = rest.find(')');
        if (open == std::string::npos || close == std::string::npos || rest.back() != '{') Fail("bad function", line);
        std::string name = rest.substr(0, open);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        const std::vector<std::string> params = Operands(rest.substr(open + 1, close - open - 1));
        unsigned regs = 0, flags = 0;
        const std::string tail = rest.substr(close + 1);
        if (const size_t r = tail.find("regs="); r != std::string::npos) regs = std::stoul(tail.substr(r + 5));
        if (const size_t f = tail.find("flags="); f != std::string::npos)
            flags = std::stoul(tail.substr(f + 6), nullptr, 0);
        Bytes body = Body(i);
        Bytes p;
        PutString(p, name);
        PutU16(p, static_cast<unsigned>(params.size()));
        if (v2) {
            p.push_back(static_cast<std::uint8_t>(regs));
            PutU16(p, flags);
        }
        for (const std::string& param : params) {
            std::string n = param;
            unsigned reg = 0;
            if (v2 && n.size() > 2 && n[0] == 'r' && n.find(':') != std::string::npos) {
                reg = std::stoul(n.substr(1));
                n = n.substr(n.find(':') + 1);
            }
            if (v2) p.push_back(static_cast<std::uint8_t>(reg));
            PutString(p, n);
        }
        PutU16(p, static_cast<unsigned>(body.size()));
        Record(out, v2 ? 0x8E : 0x9B, p);
        out.insert(out.end(), body.begin(), body.end());
    }

    // try VAR {  ...  } catch {  ...  } finally {  ...  }   (VAR: a name or rN)
    void Try(Bytes& out, const std::string& rest, const std::string& line, size_t& i) {
        std::string var = rest.substr(0, rest.find(' '));
        if (var == "{") var = "e";
        std::string closing;
        Bytes tryBody = Body(i, &closing), catchBody, finallyBody;
        bool hasCatch = false, hasFinally = false;
        while (closing.find('{') != std::string::npos) {
            std::string next;
            if (closing.find("catch") != std::string::npos) {
                hasCatch = true;
                catchBody = Body(i, &next);
            } else if (closing.find("finally") != std::string::npos) {
                hasFinally = true;
                finallyBody = Body(i, &next);
            } else {
                Fail("expected catch or finally", closing);
            }
            closing = next;
        }
        const bool inRegister = var.size() > 1 && var[0] == 'r' && std::isdigit(static_cast<unsigned char>(var[1]));
        Bytes p;
        p.push_back(static_cast<std::uint8_t>((hasCatch ? 1 : 0) | (hasFinally ? 2 : 0) | (inRegister ? 4 : 0)));
        PutU16(p, static_cast<unsigned>(tryBody.size()));
        PutU16(p, static_cast<unsigned>(catchBody.size()));
        PutU16(p, static_cast<unsigned>(finallyBody.size()));
        if (inRegister)
            p.push_back(static_cast<std::uint8_t>(std::stoul(var.substr(1))));
        else
            PutString(p, var);
        (void)line;
        Record(out, 0x8F, p);
        for (const Bytes* b : {&tryBody, &catchBody, &finallyBody}) out.insert(out.end(), b->begin(), b->end());
    }

    std::vector<std::string> st_;
};

}  // namespace

Bytes AssembleActions(std::string_view source) {
    Assembler a(Statements(source));
    size_t i = 0;
    return a.Block(i, false);
}

Actions& Actions::Asm(std::string_view source) { return Raw(AssembleActions(source)); }

}  // namespace lumarel::swfkit

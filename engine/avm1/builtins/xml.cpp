// XMLNode and XML: a tree of element and text nodes that scripts walk and change, the parser
// that builds it from text (bounded in depth and size, with an explicit stack, reporting the
// first error in `status`) and the writer that turns it back into text. The tree lives in each
// node's native state; childNodes is an array the tree keeps in step, made on first read.
#include <optional>

#include "engine/avm1/builtins/shared.h"
#include "engine/avm1/utf8.h"

namespace lumarel::engine::avm1 {

namespace {

constexpr int kElement = 1;
constexpr int kText = 3;
constexpr size_t kMaxDepth = 1024;    // open elements while parsing
constexpr size_t kMaxNodes = 200000;  // nodes one parse makes
// How far up the tree a node looks: for a cycle before it takes a child (a parent deeper than
// this takes none) and for namespace declarations.
constexpr size_t kMaxTreeDepth = 4096;

// Parse results as `status` gives them.
enum Status {
    kOk = 0,
    kBadCdata = -2,
    kBadDeclaration = -3,
    kBadDocType = -4,
    kBadComment = -5,
    kBadElement = -6,
    kOutOfMemory = -7,
    kBadAttribute = -8,
    kMissingEnd = -9,
    kMissingStart = -10,
};

struct XmlState : LoadState {
    int type = kElement;
    std::optional<std::string> name, value;
    Object* parent = nullptr;
    std::vector<Object*> children;
    size_t index = 0;              // position among the parent's children
    Object* attributes = nullptr;  // made on first need
    Object* childArray = nullptr;  // childNodes, made on first read
    void Refs(std::vector<Object*>& out) const override {
        out.push_back(parent);
        out.insert(out.end(), children.begin(), children.end());
        out.push_back(attributes);
        out.push_back(childArray);
    }
};

XmlState* NodeOf(const Value& v) { return v.object ? dynamic_cast<XmlState*>(v.object->data.get()) : nullptr; }
XmlState& StateOf(Object* o) { return *static_cast<XmlState*>(o->data.get()); }  // o is known to be a node

Value Optional(const std::optional<std::string>& s) { return s ? Value(*s) : Value::Null(); }
std::optional<std::string> OptionalOf(Machine& m, const Value& v) {
    if (v.IsNullish()) return std::nullopt;
    return m.ToString(v);
}

Object* NewNode(Machine& m, Object* proto, int type, std::optional<std::string> text) {
    Object* o = m.NewObject(proto);
    auto s = std::make_unique<XmlState>();
    s->type = type;
    (type == kText ? s->value : s->name) = std::move(text);
    o->data = std::move(s);
    return o;
}

Object* Attributes(Machine& m, XmlState& s) {
    if (!s.attributes) s.attributes = m.NewObject();
    return s.attributes;
}

// Renumbers the children from `from` on and brings childNodes up to date.
void Renumber(Machine& m, XmlState& s, size_t from) {
    for (size_t i = from; i < s.children.size(); ++i) {
        StateOf(s.children[i]).index = i;
        if (s.childArray) s.childArray->Define(std::to_string(i), Value(s.children[i]));
    }
    if (s.childArray) m.ArraySetLength(s.childArray, static_cast<uint32_t>(s.children.size()));
}

void Detach(Machine& m, Object* node) {
    XmlState& s = StateOf(node);
    if (!s.parent) return;
    XmlState& p = StateOf(s.parent);
    if (s.index < p.children.size() && p.children[s.index] == node) {
        p.children.erase(p.children.begin() + static_cast<std::ptrdiff_t>(s.index));
        Renumber(m, p, s.index);
    }
    s.parent = nullptr;
}

// Puts `child` under `parent` before `before` (at the end when null). Refused when the child is
// the parent or one of its ancestors, or the tree would grow too deep.
bool Insert(Machine& m, Object* parent, Object* child, Object* before) {
    size_t depth = 0;
    for (Object* a = parent; a; a = StateOf(a).parent)
        if (a == child || ++depth > kMaxTreeDepth) return false;
    if (before && StateOf(before).parent != parent) return false;
    Detach(m, child);
    XmlState& p = StateOf(parent);
    const size_t at = before ? StateOf(before).index : p.children.size();
    p.children.insert(p.children.begin() + static_cast<std::ptrdiff_t>(at), child);
    StateOf(child).parent = parent;
    Renumber(m, p, at);
    return true;
}

void RemoveChildren(Machine& m, XmlState& s) {
    for (Object* c : s.children) StateOf(c).parent = nullptr;
    s.children.clear();
    Renumber(m, s, 0);
}

// --- writing

// The node as markup: elements as <name a="v">...</name> (or <name a="v" /> when empty),
// attributes in the order they were set, text escaped. A node without a name (a document)
// writes only its children.
std::string Write(Machine& m, Object* root) {
    std::string out;
    struct Frame {
        Object* node;
        size_t next;
    };
    std::vector<Frame> stack;
    auto open = [&](Object* node) {
        XmlState& s = StateOf(node);
        if (s.type == kText) {
            if (s.value) AppendEscaped(out, *s.value, true);
            return;
        }
        if (s.name) {
            out += '<' + *s.name;
            if (s.attributes) {
                for (const Property& p : s.attributes->Properties()) {
                    if (p.flags & kDontEnum) continue;
                    out += ' ' + p.name + "=\"";
                    AppendEscaped(out, m.ToString(p.value), true);
                    out += '"';
                }
            }
            if (s.children.empty()) {
                out += " />";
                return;
            }
            out += '>';
        }
        stack.push_back({node, 0});
    };
    open(root);
    // Walked by index so that a toString a value's conversion runs cannot leave us past the end.
    while (!stack.empty()) {
        Frame& f = stack.back();
        XmlState& s = StateOf(f.node);
        if (f.next < s.children.size()) {
            open(s.children[f.next++]);
            continue;
        }
        if (s.name) out += "</" + *s.name + '>';
        stack.pop_back();
    }
    return out;
}

// --- parsing

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// &amp; &lt; &gt; &quot; &apos; and &#NN; / &#xHH; as their characters; anything else stays.
std::string DecodeEntities(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        const size_t semi = s.find(';', i + 1);
        if (semi == std::string_view::npos || semi - i > 12) {
            out += '&';
            continue;
        }
        const std::string_view e = s.substr(i + 1, semi - i - 1);
        static constexpr std::pair<std::string_view, char> kNamed[] = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        bool done = false;
        for (const auto& [name, c] : kNamed) {
            if (e == name) {
                out += c;
                done = true;
            }
        }
        if (!done && e.size() >= 2 && e[0] == '#') {
            const bool hex = e[1] == 'x' || e[1] == 'X';
            uint32_t cp = 0;
            size_t digits = 0;
            for (size_t k = hex ? 2 : 1; k < e.size(); ++k, ++digits) {
                const char c = e[k];
                int d = -1;
                if (c >= '0' && c <= '9') d = c - '0';
                if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
                if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
                if (d < 0 || cp > 0x10FFFF) {
                    digits = 0;
                    break;
                }
                cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
            }
            if (digits > 0 && cp > 0 && cp <= 0x10FFFF) {
                Utf8Append(cp, out);
                done = true;
            }
        }
        if (done) {
            i = semi;
        } else {
            out += '&';
        }
    }
    return out;
}

struct Parsed {
    int status = kOk;
    std::optional<std::string> xmlDecl, docTypeDecl;
};

// Parses `text` into `doc`'s children (which it replaces). Stops at the first error, keeping
// what came before it.
Parsed Parse(Machine& m, Object* doc, Object* nodeProto, const std::string& text, bool ignoreWhite) {
    Parsed r;
    RemoveChildren(m, StateOf(doc));
    std::vector<Object*> open{doc};
    size_t nodes = 0;
    const size_t n = text.size();
    size_t i = 0;
    auto add = [&](Object* node) {
        XmlState& p = StateOf(open.back());
        StateOf(node).parent = open.back();
        StateOf(node).index = p.children.size();
        p.children.push_back(node);
    };
    auto addText = [&](std::string value) {
        add(NewNode(m, nodeProto, kText, std::move(value)));
        ++nodes;
    };
    auto startsWith = [&](std::string_view s) { return text.compare(i, s.size(), s) == 0; };
    while (i < n && r.status == kOk) {
        if (nodes > kMaxNodes) {
            r.status = kOutOfMemory;
            break;
        }
        if (text[i] != '<') {
            size_t end = text.find('<', i);
            if (end == std::string::npos) end = n;
            const std::string_view raw(text.data() + i, end - i);
            bool blank = true;
            for (const char c : raw) blank = blank && IsXmlSpace(c);
            if (!(ignoreWhite && blank)) addText(DecodeEntities(raw));
            i = end;
        } else if (startsWith("<!--")) {
            const size_t end = text.find("-->", i + 4);
            if (end == std::string::npos) {
                r.status = kBadComment;
            } else {
                i = end + 3;
            }
        } else if (startsWith("<![CDATA[")) {
            const size_t end = text.find("]]>", i + 9);
            if (end == std::string::npos) {
                r.status = kBadCdata;
            } else {
                addText(text.substr(i + 9, end - i - 9));
                i = end + 3;
            }
        } else if (startsWith("<!")) {
            // <!DOCTYPE ...>, its internal subset in brackets included.
            size_t k = i + 2;
            int brackets = 0;
            while (k < n && (text[k] != '>' || brackets > 0)) {
                if (text[k] == '[') ++brackets;
                if (text[k] == ']' && brackets > 0) --brackets;
                ++k;
            }
            if (k >= n) {
                r.status = kBadDocType;
            } else {
                r.docTypeDecl = text.substr(i, k + 1 - i);
                i = k + 1;
            }
        } else if (startsWith("<?")) {
            const size_t end = text.find("?>", i + 2);
            if (end == std::string::npos) {
                r.status = kBadDeclaration;
            } else {
                r.xmlDecl = r.xmlDecl.value_or("") + text.substr(i, end + 2 - i);
                i = end + 2;
            }
        } else if (startsWith("</")) {
            const size_t end = text.find('>', i + 2);
            if (end == std::string::npos) {
                r.status = kBadElement;
                break;
            }
            std::string_view name(text.data() + i + 2, end - i - 2);
            while (!name.empty() && IsXmlSpace(name.back())) name.remove_suffix(1);
            i = end + 1;
            if (open.size() > 1 && StateOf(open.back()).name == name) {
                open.pop_back();
                continue;
            }
            // An element left open inside the one this closes, or an end tag nothing opened.
            r.status = kMissingStart;
            for (size_t k = open.size(); k-- > 1;)
                if (StateOf(open[k]).name == name) r.status = kMissingEnd;
        } else {
            size_t k = i + 1;
            while (k < n && !IsXmlSpace(text[k]) && text[k] != '>' && text[k] != '/') ++k;
            if (k == i + 1) {
                r.status = kBadElement;
                break;
            }
            Object* element = NewNode(m, nodeProto, kElement, text.substr(i + 1, k - i - 1));
            ++nodes;
            XmlState& es = StateOf(element);
            bool closed = false, empty = false;
            while (r.status == kOk && !closed) {
                while (k < n && IsXmlSpace(text[k])) ++k;
                if (k >= n) {
                    r.status = kBadElement;
                } else if (text[k] == '>') {
                    closed = true;
                    ++k;
                } else if (text[k] == '/') {
                    if (k + 1 < n && text[k + 1] == '>') {
                        closed = empty = true;
                        k += 2;
                    } else {
                        r.status = kBadElement;
                    }
                } else {
                    const size_t nameStart = k;
                    while (k < n && !IsXmlSpace(text[k]) && text[k] != '=' && text[k] != '>' && text[k] != '/') ++k;
                    const std::string attr = text.substr(nameStart, k - nameStart);
                    while (k < n && IsXmlSpace(text[k])) ++k;
                    if (k >= n || text[k] != '=') {
                        r.status = kBadElement;
                        break;
                    }
                    ++k;
                    while (k < n && IsXmlSpace(text[k])) ++k;
                    if (k >= n || (text[k] != '"' && text[k] != '\'')) {
                        r.status = kBadElement;
                        break;
                    }
                    const size_t close = text.find(text[k], k + 1);
                    if (close == std::string::npos) {
                        r.status = kBadAttribute;
                        break;
                    }
                    Attributes(m, es)->Define(
                        attr, Value(DecodeEntities(std::string_view(text.data() + k + 1, close - k - 1))));
                    k = close + 1;
                }
            }
            if (r.status != kOk) break;
            add(element);
            i = k;
            if (!empty) {
                if (open.size() > kMaxDepth) {
                    r.status = kOutOfMemory;
                    break;
                }
                open.push_back(element);
            }
        }
    }
    if (r.status == kOk && open.size() > 1) r.status = kMissingEnd;
    Renumber(m, StateOf(doc), 0);
    return r;
}

// Elements with an id attribute, by that id, for idMap.
Object* IdMap(Machine& m, Object* doc) {
    Object* map = m.NewObject();
    std::vector<Object*> stack{doc};
    while (!stack.empty()) {
        Object* node = stack.back();
        stack.pop_back();
        const XmlState& s = StateOf(node);
        const Property* id = s.attributes ? s.attributes->Find("id") : nullptr;
        if (id && id->value.type == Type::String) map->Define(id->value.string, Value(node));
        stack.insert(stack.end(), s.children.rbegin(), s.children.rend());
    }
    return map;
}

// --- namespaces

std::optional<std::string> NamespaceFor(Object* node, const std::string& prefix) {
    const std::string attr = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    size_t depth = 0;
    for (Object* a = node; a && depth++ < kMaxTreeDepth; a = StateOf(a).parent) {
        const XmlState& s = StateOf(a);
        if (const Property* p = s.attributes ? s.attributes->Find(attr) : nullptr; p && p->value.type == Type::String)
            return p->value.string;
    }
    return std::nullopt;
}

// A method or accessor whose `self` must be a node; on anything else it does nothing.
using NodeFn = std::function<Value(Machine&, Object* self, XmlState&, std::span<const Value>)>;
NativeFn OnNode(NodeFn fn) {
    return [fn = std::move(fn)](Machine& m, const Value& self, std::span<const Value> args) -> Value {
        XmlState* s = NodeOf(self);
        return s ? fn(m, self.object, *s, args) : Value();
    };
}
void NodeMethod(Machine& m, Object* proto, const char* name, NodeFn fn, uint16_t flags = kDontEnum) {
    m.Method(proto, name, OnNode(std::move(fn)), flags);
}
void NodeGetter(Machine& m, Object* proto, const char* name, NodeFn get, NodeFn set = nullptr,
                uint16_t flags = kDontEnum) {
    Accessor(m, proto, name, OnNode(std::move(get)), set ? OnNode(std::move(set)) : nullptr, flags);
}

Value Node(Object* o) { return o ? Value(o) : Value::Null(); }

// The name split at its first colon: prefix and local name.
std::pair<std::string, std::string> SplitName(const std::string& name) {
    const size_t colon = name.find(':');
    if (colon == std::string::npos) return {"", name};
    return {name.substr(0, colon), name.substr(colon + 1)};
}

void InstallNode(Machine& m, Object* proto) {
    NodeGetter(m, proto, "nodeType", [](Machine&, Object*, XmlState& s, auto) { return Value(s.type); });
    NodeGetter(
        m, proto, "nodeName", [](Machine&, Object*, XmlState& s, auto) { return Optional(s.name); },
        [](Machine& mm, Object*, XmlState& s, std::span<const Value> a) {
            s.name = OptionalOf(mm, Arg(a, 0));
            return Value();
        });
    NodeGetter(
        m, proto, "nodeValue", [](Machine&, Object*, XmlState& s, auto) { return Optional(s.value); },
        [](Machine& mm, Object*, XmlState& s, std::span<const Value> a) {
            s.value = OptionalOf(mm, Arg(a, 0));
            return Value();
        });
    NodeGetter(
        m, proto, "attributes", [](Machine& mm, Object*, XmlState& s, auto) { return Value(Attributes(mm, s)); },
        [](Machine&, Object*, XmlState& s, std::span<const Value> a) {
            if (Arg(a, 0).object) s.attributes = Arg(a, 0).object;
            return Value();
        });
    NodeGetter(m, proto, "childNodes", [](Machine& mm, Object*, XmlState& s, auto) {
        if (!s.childArray) {
            s.childArray = mm.NewArray();
            Renumber(mm, s, 0);
        }
        return Value(s.childArray);
    });
    NodeGetter(m, proto, "parentNode", [](Machine&, Object*, XmlState& s, auto) { return Node(s.parent); });
    NodeGetter(m, proto, "firstChild", [](Machine&, Object*, XmlState& s, auto) {
        return Node(s.children.empty() ? nullptr : s.children.front());
    });
    NodeGetter(m, proto, "lastChild", [](Machine&, Object*, XmlState& s, auto) {
        return Node(s.children.empty() ? nullptr : s.children.back());
    });
    NodeGetter(m, proto, "nextSibling", [](Machine&, Object*, XmlState& s, auto) {
        if (!s.parent) return Value::Null();
        const auto& kids = StateOf(s.parent).children;
        return Node(s.index + 1 < kids.size() ? kids[s.index + 1] : nullptr);
    });
    NodeGetter(m, proto, "previousSibling", [](Machine&, Object*, XmlState& s, auto) {
        if (!s.parent || s.index == 0) return Value::Null();
        return Node(StateOf(s.parent).children[s.index - 1]);
    });

    // Names with a namespace prefix (Flash 8): text nodes have none of these.
    constexpr uint16_t k8 = kDontEnum | kSince8;
    NodeGetter(
        m, proto, "prefix",
        [](Machine&, Object*, XmlState& s, auto) {
            return s.type == kElement && s.name ? Value(SplitName(*s.name).first) : Value::Null();
        },
        nullptr, k8);
    NodeGetter(
        m, proto, "localName",
        [](Machine&, Object*, XmlState& s, auto) {
            return s.type == kElement && s.name ? Value(SplitName(*s.name).second) : Value::Null();
        },
        nullptr, k8);
    NodeGetter(
        m, proto, "namespaceURI",
        [](Machine&, Object* self, XmlState& s, auto) {
            if (s.type != kElement || !s.name) return Value::Null();
            return Optional(NamespaceFor(self, SplitName(*s.name).first));
        },
        nullptr, k8);
    NodeMethod(
        m, proto, "getNamespaceForPrefix",
        [](Machine& mm, Object* self, XmlState&, std::span<const Value> a) {
            return Optional(NamespaceFor(self, mm.ToString(Arg(a, 0))));
        },
        k8);
    // getPrefixForNamespace(uri): the nearest declaration of it, "" for a default namespace.
    NodeMethod(
        m, proto, "getPrefixForNamespace",
        [](Machine& mm, Object* self, XmlState&, std::span<const Value> a) {
            const std::string uri = mm.ToString(Arg(a, 0));
            size_t depth = 0;
            for (Object* n = self; n && depth++ < kMaxTreeDepth; n = StateOf(n).parent) {
                const XmlState& s = StateOf(n);
                if (!s.attributes) continue;
                for (const Property& p : s.attributes->Properties()) {
                    if (p.value.type != Type::String || p.value.string != uri) continue;
                    if (p.name == "xmlns") return Value("");
                    if (p.name.starts_with("xmlns:")) return Value(p.name.substr(6));
                }
            }
            return Value::Null();
        },
        k8);

    NodeMethod(m, proto, "hasChildNodes",
               [](Machine&, Object*, XmlState& s, auto) { return Value(!s.children.empty()); });
    NodeMethod(m, proto, "appendChild", [](Machine& mm, Object* self, XmlState&, std::span<const Value> a) {
        if (NodeOf(Arg(a, 0))) Insert(mm, self, Arg(a, 0).object, nullptr);
        return Value();
    });
    NodeMethod(m, proto, "insertBefore", [](Machine& mm, Object* self, XmlState&, std::span<const Value> a) {
        if (NodeOf(Arg(a, 0)) && NodeOf(Arg(a, 1))) Insert(mm, self, Arg(a, 0).object, Arg(a, 1).object);
        return Value();
    });
    NodeMethod(m, proto, "removeNode", [](Machine& mm, Object* self, XmlState&, auto) {
        Detach(mm, self);
        return Value();
    });
    // cloneNode(deep): the same kind, name, value and attributes, without a parent; deep copies
    // the children too.
    Object* nodeProto = proto;
    NodeMethod(m, proto, "cloneNode", [nodeProto](Machine& mm, Object* self, XmlState&, std::span<const Value> a) {
        const bool deep = mm.ToBoolean(Arg(a, 0));
        auto copy = [&](Object* from) {
            const XmlState& f = StateOf(from);
            Object* to = NewNode(mm, nodeProto, f.type, std::nullopt);
            XmlState& t = StateOf(to);
            t.name = f.name;
            t.value = f.value;
            if (f.attributes)
                for (const Property& p : f.attributes->Properties())
                    Attributes(mm, t)->Define(p.name, p.value, p.flags);
            return to;
        };
        Object* root = copy(self);
        std::vector<std::pair<Object*, Object*>> stack{{self, root}};  // original, its copy
        while (deep && !stack.empty()) {
            auto [from, to] = stack.back();
            stack.pop_back();
            for (Object* child : StateOf(from).children) {
                Object* c = copy(child);
                Insert(mm, to, c, nullptr);
                stack.push_back({child, c});
            }
        }
        return Value(root);
    });
    NodeMethod(m, proto, "toString", [](Machine& mm, Object* self, XmlState&, auto) { return Value(Write(mm, self)); });
}

}  // namespace

void InstallXml(Machine& m) {
    Object* nodeProto = m.NewObject();
    Object* xmlProto = m.NewObject(nodeProto);
    m.builtinRoots.push_back(nodeProto);
    // new XMLNode(type, value): an element named `value` (type 1) or a text node holding it.
    NativeClass(
        m, "XMLNode",
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            const int type = mm.ToNumber(Arg(args, 0)) == kText ? kText : kElement;
            auto s = std::make_unique<XmlState>();
            s->type = type;
            (type == kText ? s->value : s->name) = OptionalOf(mm, Arg(args, 1));
            self.object->data = std::move(s);
            return Value();
        },
        nodeProto);
    InstallNode(m, nodeProto);

    // new XML([text]): a document (an element without a name) parsed from the text.
    NativeClass(
        m, "XML",
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            self.object->data = std::make_unique<XmlState>();
            self.object->Define("status", Value(0), kDontEnum);
            if (!args.empty() && !args[0].IsNullish()) mm.CallMethod(self, "parseXML", args.first(1));
            return Value();
        },
        xmlProto);
    // parseXML(text): replaces the document's children; sets status, xmlDecl, docTypeDecl and
    // (Flash 8) idMap.
    NodeMethod(m, xmlProto, "parseXML", [nodeProto](Machine& mm, Object* self, XmlState&, std::span<const Value> a) {
        const std::string text = mm.ToString(Arg(a, 0));
        const bool ignoreWhite = mm.ToBoolean(mm.Get(self, "ignoreWhite"));
        const Parsed r = Parse(mm, self, nodeProto, text, ignoreWhite);
        self->Define("status", Value(r.status), kDontEnum);
        self->Define("xmlDecl", r.xmlDecl ? Value(*r.xmlDecl) : Value(), kDontEnum);
        self->Define("docTypeDecl", r.docTypeDecl ? Value(*r.docTypeDecl) : Value(), kDontEnum);
        self->Define("idMap", Value(IdMap(mm, self)), kDontEnum | kSince8);
        return Value();
    });
    NodeMethod(m, xmlProto, "createElement", [nodeProto](Machine& mm, Object*, XmlState&, std::span<const Value> a) {
        return Value(NewNode(mm, nodeProto, kElement, OptionalOf(mm, Arg(a, 0))));
    });
    NodeMethod(m, xmlProto, "createTextNode", [nodeProto](Machine& mm, Object*, XmlState&, std::span<const Value> a) {
        return Value(NewNode(mm, nodeProto, kText, OptionalOf(mm, Arg(a, 0))));
    });
    // A document writes its declarations before its children.
    NodeMethod(m, xmlProto, "toString", [](Machine& mm, Object* self, XmlState& s, auto) {
        std::string out;
        if (!s.name) {
            for (const char* decl : {"xmlDecl", "docTypeDecl"}) {
                const Value v = mm.Get(self, decl);
                if (!v.IsNullish()) out += mm.ToString(v);
            }
        }
        return Value(out + Write(mm, self));
    });
    xmlProto->Define("ignoreWhite", Value(false), kDontEnum);
    LoadMethods(m, xmlProto, "parseXML");
}

}  // namespace lumarel::engine::avm1

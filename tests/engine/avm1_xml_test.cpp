// XML, XMLNode and LoadVars, driven by assembled scripts: each case's trace output, and loading
// through a host that serves files from a map.
#include <gtest/gtest.h>

#include <map>

#include "avm1_fake_host.h"
#include "tools/swfkit/swfkit.h"

namespace lumarel {
namespace {

class FileHost : public testing::FakeHost {
public:
    std::map<std::string, std::string> files;
    bool ReadFile(const std::string& url, std::string& out) override {
        auto it = files.find(url);
        if (it == files.end()) return false;
        out = it->second;
        return true;
    }
};

// "push <args reversed>, <count>" for a comma-separated list of push operands.
std::string Args(const std::string& list) {
    std::string out;
    size_t count = 0, end = list.size();
    while (end > 0 && end != std::string::npos) {
        const size_t comma = list.rfind(',', end - 1);
        const size_t from = comma == std::string::npos ? 0 : comma + 1;
        out += list.substr(from, end - from) + ", ";
        ++count;
        end = comma;
    }
    return "push " + out + std::to_string(count);
}

// `a.b.c(args)` as actions leaving its value on the stack: the first step is a register or a
// variable, each further one a member or a method call (arguments are push operands).
std::string Expr(const std::string& e) {
    std::vector<std::string> steps;
    std::string cur;
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < e.size(); ++i) {
        const char c = e[i];
        if (c == '\\' && quoted) {
            cur += {c, e[++i]};
            continue;
        }
        if (c == '"') quoted = !quoted;
        if (!quoted) depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        if (c == '.' && !quoted && depth == 0) {
            steps.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    steps.push_back(cur);
    std::string out = steps[0][0] == 'r' ? "push " + steps[0] + "\n" : "push \"" + steps[0] + "\"; getvariable\n";
    for (size_t i = 1; i < steps.size(); ++i) {
        const std::string& s = steps[i];
        const size_t paren = s.find('(');
        if (paren == std::string::npos) {
            out += "push \"" + s + "\"; getmember\n";
            continue;
        }
        const std::string args = s.substr(paren + 1, s.size() - paren - 2);
        out += "store r9; pop; " + Args(args) + ", r9, \"" + s.substr(0, paren) + "\"; callmethod\n";
    }
    return out;
}

// Lines of "rN = new Class(arg)", "rN = expr", "expr = value" (a member set), "expr" (called for
// its effect) and "? expr" (traced); the traces joined by "|".
std::string RunScript(testing::FakeHost& host, engine::avm1::Machine& m, const std::string& script) {
    std::string code = "function2 body() regs=10 flags=0 {\n";
    size_t start = 0;
    while (start < script.size()) {
        size_t end = script.find('\n', start);
        if (end == std::string::npos) end = script.size();
        const std::string line = script.substr(start, end - start);
        start = end + 1;
        const size_t eq = line.find(" = ");
        if (line.starts_with("? ")) {
            code += Expr(line.substr(2)) + "trace\n";
        } else if (eq != std::string::npos && line.compare(eq + 3, 4, "new ") == 0) {
            const size_t paren = line.find('(', eq);
            const std::string args = line.substr(paren + 1, line.size() - paren - 2);
            code += Args(args) + ", \"" + line.substr(eq + 7, paren - eq - 7) + "\"; newobject; store " +
                    line.substr(0, eq) + "; pop\n";
        } else if (eq != std::string::npos && line[0] == 'r' && line.find('.') > eq) {
            code += Expr(line.substr(eq + 3)) + "store " + line.substr(0, eq) + "; pop\n";
        } else if (eq != std::string::npos) {
            const size_t dot = line.rfind('.', eq);
            code += Expr(line.substr(0, dot)) + "push \"" + line.substr(dot + 1, eq - dot - 1) + "\", " +
                    line.substr(eq + 3) + "; setmember\n";
        } else {
            code += Expr(line) + "pop\n";
        }
    }
    code += "}\npush 0, \"body\"; callfunction; pop";
    host.traces.clear();
    m.RunBlock(swfkit::AssembleActions(code), nullptr);
    std::string out;
    for (size_t i = 0; i < host.traces.size(); ++i) out += (i ? "|" : "") + host.traces[i];
    return out + (m.LastAbort().empty() ? "" : "|abort: " + m.LastAbort());
}

struct Case {
    const char* script;
    const char* traces;
};

void RunCases(std::span<const Case> cases) {
    for (const Case& c : cases) {
        testing::FakeHost host;
        engine::avm1::Machine m(host, 8);
        EXPECT_EQ(RunScript(host, m, c.script), c.traces) << c.script;
    }
}

TEST(Avm1Xml, ParsesWalksAndWritesBack) {
    const Case cases[] = {
        {"r1 = new XML(\"<a x='1' y=\\\"2\\\"><b>hi &amp; &#x41;&#66;</b><c/>t</a>\")\n"
         "r2 = r1.firstChild\n? r2.nodeName\n? r2.attributes.y\n? r2.firstChild.firstChild.nodeValue\n"
         "? r2.lastChild.nodeType\n? r2.firstChild.nextSibling.nodeName\n? r2.childNodes.length\n"
         "? r2.lastChild.previousSibling.previousSibling.nodeName\n? r2.parentNode.nodeName\n"
         "? r2.firstChild.previousSibling\n? r1.status\n? r1",
         "a|2|hi & AB|3|c|3|b|null|null|0|<a x=\"1\" y=\"2\"><b>hi &amp; AB</b><c />t</a>"},
        {"r1 = new XML(\"<?xml version=\\\"1.0\\\"?><!DOCTYPE x [<!ENTITY e 'v'>]><a b='&quot;&lt;'>it's "
         "<![CDATA[<raw>]]></a>\")\n? r1.xmlDecl\n? r1.docTypeDecl\n? r1.firstChild.firstChild.nodeValue\n? r1",
         "<?xml version=\"1.0\"?>|<!DOCTYPE x [<!ENTITY e 'v'>]>|it's |<?xml version=\"1.0\"?><!DOCTYPE x "
         "[<!ENTITY e 'v'>]><a b=\"&quot;&lt;\">it&apos;s &lt;raw&gt;</a>"},
        // Children added, moved, cloned and removed; childNodes follows.
        {"r1 = new XML()\nr2 = r1.createElement(\"p\")\nr3 = r1.createTextNode(\"<x>\")\nr1.appendChild(r2)\n"
         "r4 = r2.childNodes\nr2.appendChild(r3)\nr5 = r1.createElement(\"q\")\nr2.insertBefore(r5, r3)\n"
         "r2.attributes.k = \"v\"\nr2.attributes.a = 1\n? r1\n? r4.length\nr2.appendChild(r5)\n? r4.0.nodeValue\n"
         "r6 = r2.cloneNode(true)\nr7 = r2.cloneNode(false)\nr3.removeNode()\n? r6\n? r7\n? r2\n? r4.length\n"
         "? r2.hasChildNodes()\nr5.appendChild(r1)\nr2.appendChild(r2)\n? r1",
         "<p k=\"v\" a=\"1\"><q />&lt;x&gt;</p>|2|<x>|<p k=\"v\" a=\"1\">&lt;x&gt;<q /></p>|<p k=\"v\" a=\"1\" />|"
         "<p k=\"v\" a=\"1\"><q /></p>|1|true|<p k=\"v\" a=\"1\"><q /></p>"},
        {"r1 = new XML(\"<a> <b> x </b>\\n</a>\")\n? r1.firstChild.childNodes.length\nr1.ignoreWhite = true\n"
         "r1.parseXML(\"<a> <b> x </b>\\n</a>\")\n? r1.firstChild.childNodes.length\n? r1",
         "3|1|<a><b> x </b></a>"},
        {"r1 = new XML(\"<r xmlns='d' xmlns:p='urn:p'><p:i id='one'/><j id='two'>t</j></r>\")\n"
         "r2 = r1.firstChild.firstChild\n? r2.prefix\n? r2.localName\n? r2.namespaceURI\n"
         "? r2.nextSibling.namespaceURI\n? r2.getPrefixForNamespace(\"urn:p\")\n? r2.getNamespaceForPrefix(\"q\")\n"
         "? r1.idMap.two.firstChild.nodeValue\n? r1.idMap.one.nodeName",
         "p|i|urn:p|d|p|null|t|p:i"},
        {"r1 = new XMLNode(3, \"a&b\")\n? r1\n? r1.nodeName\nr2 = new XMLNode(1, \"e\")\n? r2\n? r2.nodeValue",
         "a&amp;b|null|<e />|null"},
    };
    RunCases(cases);
}

TEST(Avm1Xml, MalformedTextSetsTheStatusOfItsFirstError) {
    const std::pair<const char*, int> cases[] = {
        {"<a><b/></a>", 0}, {"<a>", -9},     {"<a><b></a>", -9},  {"<a></b>", -10},     {"</a>", -10},
        {"<![CDATA[x", -2}, {"<?xml v", -3}, {"<!DOCTYPE x", -4}, {"<!-- x -", -5},     {"<a b>", -6},
        {"<a b='x>", -8},   {"<", -6},       {"<a/ >", -6},       {"&bogus; &#xZZ;", 0}};
    for (const auto& [text, status] : cases) {
        testing::FakeHost host;
        engine::avm1::Machine m(host, 8);
        const engine::avm1::Value args[] = {text};
        const engine::avm1::Value xml = m.Construct(m.Get(m.global, "XML"), args);
        EXPECT_EQ(m.ToNumber(m.GetMember(xml, "status")), status) << text;
    }
    // Deep and wide documents stay bounded: no recursion, a limit on depth.
    testing::FakeHost host;
    engine::avm1::Machine m(host, 8);
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    const engine::avm1::Value args[] = {deep};
    const engine::avm1::Value xml = m.Construct(m.Get(m.global, "XML"), args);
    EXPECT_EQ(m.ToNumber(m.GetMember(xml, "status")), -7);
    EXPECT_EQ(m.ToString(xml).substr(0, 6), "<a><a>");
}

TEST(Avm1Xml, LoadVarsDecodesAndEncodes) {
    const Case cases[] = {
        {"r1 = new LoadVars()\nr1.decode(\"a=1&b=hello%20world+x&c&=z&d=%u00e9\")\n? r1.a\n? r1.b\n? r1.c\n? r1.d\n"
         "? r1",
         "1|hello world x||\xC3\xA9|d=%C3%A9&c=&b=hello%20world%20x&a=1"},
        {"r1 = new LoadVars()\nr1.name = \"Gary\"\nr1.age = 26\n? r1\n? r1.contentType\n? r1.getBytesLoaded()",
         "age=26&name=Gary|application/x-www-form-urlencoded|undefined"},
    };
    RunCases(cases);
    // A subclass's super() gives its objects the native state.
    testing::FakeHost host;
    engine::avm1::Machine m(host, 8);
    m.RunBlock(swfkit::AssembleActions(
                   "function B() {; push 0, \"super\"; getvariable; push undefined; callmethod; pop; }\n"
                   "push \"B\"; getvariable; push \"LoadVars\"; getvariable; extends\n"
                   "push 0, \"B\"; newobject; store r1; pop; push \"a=1\", 1, r1, \"decode\"; callmethod; pop\n"
                   "push r1, \"a\"; getmember; trace"),
               nullptr);
    EXPECT_EQ(host.traces, std::vector<std::string>{"1"});
}

// Loads finish on a later frame, after that frame's timers; a file the host refuses gives
// onLoad(false).
TEST(Avm1Xml, LoadsCallBackOnALaterFrame) {
    FileHost host;
    host.files = {{"d.xml", "<a>1</a>"}, {"v.txt", "k=v"}};
    engine::avm1::Machine m(host, 8);
    const char* script =
        "r1 = new XML()\nr2 = new LoadVars()\nr3 = new LoadVars()\n_global.x = r1\n_global.v = r2\n_global.w = r3\n"
        "? r1.load(\"d.xml\")\n? r2.load(\"v.txt\")\n? r3.load(\"http://example.com/\")\n? r1.loaded\n"
        "? r1.getBytesTotal()";
    EXPECT_EQ(RunScript(host, m, script), "true|true|true|false|undefined");
    const std::string onLoad =
        "function2 f(r1:ok) regs=3 flags=0 {\npush \"x\"; getvariable; trace; push r1; trace; }\n"
        "push \"x\"; getvariable; push \"onLoad\"; push \"f\"; getvariable; setmember\n"
        "function2 g(r1:ok) regs=3 flags=0 {\npush \"v\"; getvariable; push \"k\"; getmember; trace; push r1; trace; "
        "}\n"
        "push \"v\"; getvariable; push \"onLoad\"; push \"g\"; getvariable; setmember\n"
        "push \"w\"; getvariable; push \"onLoad\"; push \"g\"; getvariable; setmember\n"
        "function h() {; push \"timer\"; trace; }\npush 0, \"h\"; getvariable; push 2, \"setTimeout\"; callfunction; "
        "pop";
    host.traces.clear();
    const swfkit::Bytes code = swfkit::AssembleActions(onLoad);  // its functions run later: kept alive
    m.RunBlock(code, nullptr);
    EXPECT_TRUE(host.traces.empty());
    m.RunTimers();
    std::string out;
    for (const std::string& t : host.traces) out += t + "|";
    EXPECT_EQ(out, "timer|<a>1</a>|true|v|true|v|false|");
    EXPECT_EQ(RunScript(host, m, "r1 = new XML()\n? r1.getBytesTotal()\n? v\n? v.getBytesTotal()"),
              "undefined|k=v&onLoad=%5Btype%20Function%5D|3");
}

}  // namespace
}  // namespace lumarel

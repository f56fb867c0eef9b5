// The key tree and REGEDIT4 text: reading and writing it so that every
// value's type and bytes survive exactly.
#include "platform/registry/hive.h"

#include "base/hex.h"
#include "base/littleendian.h"
#include "base/text.h"

#include <algorithm>
#include <cstdio>

namespace platform::detail {

namespace {

std::string_view trimRight(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string_view trimLeft(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

// Length of a well-formed UTF-8 sequence for a printable character at
// s[i] (code point U+00A0 and above), or 0.
size_t printableUtf8(const std::vector<BYTE> &s, size_t i, size_t end)
{
    const BYTE b = s[i];
    size_t len = 0;
    std::uint32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        cp = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        cp = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        cp = b & 0x07u;
    } else {
        return 0;
    }
    if (i + len > end)
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((s[i + k] & 0xC0u) != 0x80u)
            return 0;
        cp = (cp << 6) | (s[i + k] & 0x3Fu);
    }
    const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (overlong || surrogate || cp > 0x10FFFF || cp < 0xA0)
        return 0;
    return len;
}

// A REG_SZ can be written as "..." when it is printable text followed by
// exactly one terminating zero byte.
bool quotable(const Value &v)
{
    if (v.type != REG_SZ || v.data.empty() || v.data.back() != 0)
        return false;
    const size_t end = v.data.size() - 1;
    for (size_t i = 0; i < end;) {
        const BYTE b = v.data[i];
        if (b >= 0x20 && b <= 0x7E) {
            ++i;
            continue;
        }
        const size_t len = printableUtf8(v.data, i, end);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

void appendQuoted(std::string_view text, std::string &out)
{
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

void appendValue(const Value &v, std::string &out)
{
    const size_t lineStart = out.size();
    if (v.name.empty())
        out += '@';
    else
        appendQuoted(v.name, out);
    out += '=';
    if (quotable(v)) {
        appendQuoted(std::string_view(reinterpret_cast<const char *>(v.data.data()), v.data.size() - 1), out);
        out += '\n';
        return;
    }
    char buf[32];
    if (v.type == REG_DWORD && v.data.size() == 4) {
        const DWORD d = base::ReadLe32(v.data.data());
        std::snprintf(buf, sizeof buf, "dword:%08x\n", d);
        out += buf;
        return;
    }
    if (v.type == REG_BINARY) {
        out += "hex:";
    } else {
        std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        out += buf;
    }
    size_t column = out.size() - lineStart;
    for (size_t i = 0; i < v.data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", v.data[i]);
        out += buf;
        column += 2;
        if (i + 1 < v.data.size()) {
            out += ',';
            ++column;
            if (column >= 76) {
                out += "\\\n  ";
                column = 2;
            }
        }
    }
    out += '\n';
}

// ---------------------------------------------------------------------------
// Reading.

class Parser {
public:
    Parser(std::string_view text, std::vector<ImportOp> &ops) : text_(text), ops_(ops) {}

    bool run(std::string &error)
    {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            text_.remove_prefix(3);
        std::string_view line;
        bool header = false;
        while (nextLine(line)) {
            const std::string_view t = trimRight(trimLeft(line));
            if (t.empty())
                continue;
            if (!header) {
                if (t != "REGEDIT4")
                    return fail(error, "the text does not start with REGEDIT4");
                header = true;
                continue;
            }
            if (t.front() == ';')
                continue;
            if (t.front() == '[') {
                if (!keyLine(t, error))
                    return false;
                continue;
            }
            if (t.front() == '"' || t.front() == '@') {
                if (!valueLine(t, error))
                    return false;
                continue;
            }
            return fail(error, "unrecognised line");
        }
        if (!header)
            return fail(error, "the text does not start with REGEDIT4");
        return true;
    }

private:
    bool nextLine(std::string_view &line)
    {
        if (pos_ >= text_.size())
            return false;
        const size_t nl = text_.find('\n', pos_);
        const size_t end = nl == std::string_view::npos ? text_.size() : nl;
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        ++lineNo_;
        return true;
    }

    bool fail(std::string &error, const std::string &what)
    {
        error = "line " + std::to_string(lineNo_) + ": " + what;
        return false;
    }

    bool keyLine(std::string_view t, std::string &error)
    {
        if (t.back() != ']')
            return fail(error, "a key line must end with ']'");
        std::string_view name = t.substr(1, t.size() - 2);
        bool remove = false;
        if (!name.empty() && name.front() == '-') {
            remove = true;
            name.remove_prefix(1);
        }
        const size_t slash = name.find('\\');
        const std::string_view rootName = name.substr(0, slash);
        RootPlace place;
        if (!rootPlace(rootName, place))
            return fail(error, "unknown root key '" + std::string(rootName) + "'");
        Path rest;
        std::string problem;
        if (slash != std::string_view::npos && !splitPath(name.substr(slash + 1), rest, &problem))
            return fail(error, problem == tooDeepMessage()
                                   ? problem
                                   : "bad key name '" + std::string(name) + "' (" + problem + ")");
        ImportOp op;
        op.kind = remove ? ImportOp::DeleteKey : ImportOp::CreateKey;
        op.hive = place.hive;
        op.path = place.prefix;
        op.path.insert(op.path.end(), rest.begin(), rest.end());
        if (op.path.size() > kMaxKeyDepth)
            return fail(error, tooDeepMessage());
        if (remove && op.path.size() <= place.prefix.size())
            return fail(error, "a root key cannot be deleted");
        haveKey_ = !remove;
        current_ = op;
        ops_.push_back(std::move(op));
        return true;
    }

    // Reads a "..." string at the front of s (with \\ and \" escapes).
    bool quoted(std::string_view &s, std::string &out, std::string &error)
    {
        size_t i = 1;
        out.clear();
        for (;;) {
            if (i >= s.size())
                return fail(error, "missing closing '\"'");
            const char c = s[i];
            if (c == '"')
                break;
            if (c == '\\') {
                if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"'))
                    return fail(error, "unknown escape in a quoted string");
                out += s[i + 1];
                i += 2;
                continue;
            }
            out += c;
            ++i;
        }
        s.remove_prefix(i + 1);
        return true;
    }

    bool hexBytes(std::string_view s, std::vector<BYTE> &out, std::string &error)
    {
        std::string joined(s);
        // A trailing '\' continues the list on the next line.
        for (;;) {
            std::string_view j = trimRight(joined);
            if (j.empty() || j.back() != '\\')
                break;
            joined.resize(j.size() - 1);
            std::string_view more;
            if (!nextLine(more))
                return fail(error, "the hex data ends with '\\' on the last line");
            joined += trimRight(trimLeft(more));
        }
        std::string_view rest = trimRight(trimLeft(joined));
        if (rest.empty())
            return true;
        for (;;) {
            rest = trimLeft(rest);
            size_t n = 0;
            while (n < rest.size() && base::HexDigitValue(rest[n]) >= 0)
                ++n;
            const std::optional<std::uint64_t> byte = n <= 2 ? base::ParseHexNumber(rest.substr(0, n)) : std::nullopt;
            if (!byte)
                return fail(error, "bad byte in hex data");
            out.push_back(static_cast<BYTE>(*byte));
            rest = trimLeft(rest.substr(n));
            if (rest.empty())
                return true;
            if (rest.front() != ',')
                return fail(error, "bytes in hex data must be separated by ','");
            rest.remove_prefix(1);
            if (trimLeft(rest).empty())
                return true; // a trailing comma
        }
    }

    bool valueLine(std::string_view t, std::string &error)
    {
        if (!haveKey_)
            return fail(error, "a value line outside a key");
        ImportOp op;
        op.hive = current_.hive;
        op.path = current_.path;
        if (t.front() == '@') {
            t.remove_prefix(1);
        } else if (!quoted(t, op.value.name, error)) {
            return false;
        }
        if (!validValueName(op.value.name))
            return fail(error, "bad value name");
        t = trimLeft(t);
        if (t.empty() || t.front() != '=')
            return fail(error, "missing '=' after the value name");
        t = trimLeft(t.substr(1));
        if (t == "-") {
            op.kind = ImportOp::DeleteValue;
            ops_.push_back(std::move(op));
            return true;
        }
        op.kind = ImportOp::SetValue;
        Value &v = op.value;
        if (!t.empty() && t.front() == '"') {
            std::string text;
            if (!quoted(t, text, error))
                return false;
            if (!trimRight(t).empty())
                return fail(error, "text after a quoted string");
            v.type = REG_SZ;
            v.data.assign(text.begin(), text.end());
            v.data.push_back(0);
        } else if (t.substr(0, 6) == "dword:") {
            const std::string_view digits = trimRight(t.substr(6));
            if (digits.empty() || digits.size() > 8)
                return fail(error, "a dword needs 1 to 8 hex digits");
            const std::optional<std::uint64_t> d = base::ParseHexNumber(digits);
            if (!d)
                return fail(error, "bad hex digit in a dword");
            v.type = REG_DWORD;
            const auto bytes = base::LeBytes<4>(*d);
            v.data.assign(bytes.begin(), bytes.end());
        } else if (t.substr(0, 4) == "hex:") {
            v.type = REG_BINARY;
            if (!hexBytes(t.substr(4), v.data, error))
                return false;
        } else if (t.substr(0, 4) == "hex(") {
            const size_t close = t.find("):");
            if (close == std::string_view::npos || close == 4 || close > 12)
                return fail(error, "bad hex(type): prefix");
            const std::optional<std::uint64_t> type = base::ParseHexNumber(t.substr(4, close - 4));
            if (!type)
                return fail(error, "bad type number in hex(type):");
            if (*type > 0xFFFFFFFFu)
                return fail(error, "type number too large");
            v.type = static_cast<DWORD>(*type);
            if (!hexBytes(t.substr(close + 2), v.data, error))
                return false;
        } else {
            return fail(error, "unknown value data");
        }
        ops_.push_back(std::move(op));
        return true;
    }

    std::string_view text_;
    std::vector<ImportOp> &ops_;
    size_t pos_ = 0;
    int lineNo_ = 0;
    bool haveKey_ = false;
    ImportOp current_;
};

} // namespace

// ---------------------------------------------------------------------------
// Names and the key tree.

std::string foldName(std::string_view name)
{
    std::string out(name);
    for (char &c : out)
        c = base::AsciiLower(c);
    return out;
}

bool sameName(std::string_view a, std::string_view b)
{
    return base::EqualsNoCase(a, b);
}

Key *Key::child(std::string_view childName) const
{
    const auto it = children.find(foldName(childName));
    return it == children.end() ? nullptr : it->second.get();
}

Key &Key::ensureChild(std::string_view childName, bool *created)
{
    auto &slot = children[foldName(childName)];
    if (created)
        *created = !slot;
    if (!slot) {
        slot = std::make_unique<Key>();
        slot->name = std::string(childName);
    }
    return *slot;
}

bool Key::removeChild(std::string_view childName)
{
    return children.erase(foldName(childName)) > 0;
}

const Value *Key::value(std::string_view valueName) const
{
    for (const Value &v : values)
        if (sameName(v.name, valueName))
            return &v;
    return nullptr;
}

Value *Key::value(std::string_view valueName)
{
    for (Value &v : values)
        if (sameName(v.name, valueName))
            return &v;
    return nullptr;
}

bool Key::setValue(std::string_view valueName, DWORD type, std::vector<BYTE> data)
{
    if (Value *v = value(valueName)) {
        if (v->type == type && v->data == data)
            return false;
        v->type = type;
        v->data = std::move(data);
        return true;
    }
    values.push_back(Value{std::string(valueName), type, std::move(data)});
    return true;
}

bool Key::removeValue(std::string_view valueName)
{
    const auto it =
        std::find_if(values.begin(), values.end(), [&](const Value &v) { return sameName(v.name, valueName); });
    if (it == values.end())
        return false;
    values.erase(it);
    return true;
}

Key::~Key()
{
    // Children are moved out to a list before they die, so that no key's
    // destructor ever has grandchildren left to destroy.
    std::vector<std::unique_ptr<Key>> pending;
    for (auto &[folded, child] : children)
        pending.push_back(std::move(child));
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<Key> key = std::move(pending.back());
        pending.pop_back();
        for (auto &[folded, child] : key->children)
            pending.push_back(std::move(child));
        key->children.clear();
    }
}

void copyKey(const Key &from, Key &to)
{
    to.children.clear();
    std::vector<std::pair<const Key *, Key *>> pending{{&from, &to}};
    while (!pending.empty()) {
        const auto [source, copy] = pending.back();
        pending.pop_back();
        copy->name = source->name;
        copy->values = source->values;
        for (const auto &[folded, child] : source->children) {
            auto made = std::make_unique<Key>();
            pending.emplace_back(child.get(), made.get());
            copy->children.emplace(folded, std::move(made));
        }
    }
}

const Key *findKey(const Key &root, const Path &path, size_t count)
{
    const Key *k = &root;
    for (size_t i = 0; i < count && k; ++i)
        k = k->child(path[i]);
    return k;
}

Key *findKey(Key &root, const Path &path)
{
    return const_cast<Key *>(findKey(static_cast<const Key &>(root), path));
}

std::string tooDeepMessage()
{
    return "the key is more than " + std::to_string(kMaxKeyDepth) + " levels deep";
}

bool splitPath(std::string_view text, Path &out, std::string *problem)
{
    auto refuse = [&](std::string why) {
        if (problem)
            *problem = std::move(why);
        return false;
    };
    out.clear();
    if (text.empty())
        return true;
    if (text.back() == '\\')
        text.remove_suffix(1);
    size_t start = 0;
    for (;;) {
        const size_t slash = text.find('\\', start);
        const std::string_view part = text.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (part.empty())
            return refuse("an empty key name");
        if (part.size() > kMaxKeyNameLength)
            return refuse("a key name is longer than " + std::to_string(kMaxKeyNameLength) + " characters");
        for (char c : part)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                return refuse("a control character in a key name");
        if (out.size() == kMaxKeyDepth)
            return refuse(tooDeepMessage());
        out.emplace_back(part);
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

bool validValueName(std::string_view name)
{
    return name.size() <= 16383 && name.find_first_of("\r\n") == std::string_view::npos;
}

bool rootPlace(std::string_view rootName, RootPlace &out)
{
    if (sameName(rootName, "HKEY_LOCAL_MACHINE") || sameName(rootName, "HKLM")) {
        out = {HiveId::LocalMachine, {}, "HKEY_LOCAL_MACHINE"};
        return true;
    }
    if (sameName(rootName, "HKEY_CURRENT_USER") || sameName(rootName, "HKCU")) {
        out = {HiveId::CurrentUser, {}, "HKEY_CURRENT_USER"};
        return true;
    }
    if (sameName(rootName, "HKEY_CLASSES_ROOT") || sameName(rootName, "HKCR")) {
        out = {HiveId::LocalMachine, {"Software", "Classes"}, "HKEY_CLASSES_ROOT"};
        return true;
    }
    return false;
}

const char *hiveRootName(HiveId hive)
{
    return hive == HiveId::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

const char *hiveFileName(HiveId hive)
{
    return hive == HiveId::LocalMachine ? "HKLM.reg" : "HKCU.reg";
}

// ---------------------------------------------------------------------------
// REGEDIT4 entry points.

bool parseRegedit(std::string_view text, std::vector<ImportOp> &ops, std::string &error)
{
    ops.clear();
    Parser parser(text, ops);
    return parser.run(error);
}

void writeRegeditKey(const Key &key, const std::string &fullName, std::string &out)
{
    // Depth first, children in name order, as a recursive walk would go.
    std::vector<std::pair<const Key *, std::string>> pending{{&key, fullName}};
    while (!pending.empty()) {
        auto [k, name] = std::move(pending.back());
        pending.pop_back();
        out += '[';
        out += name;
        out += "]\n";
        for (const Value &v : k->values)
            appendValue(v, out);
        out += '\n';
        for (auto it = k->children.rbegin(); it != k->children.rend(); ++it)
            pending.emplace_back(it->second.get(), name + '\\' + it->second->name);
    }
}

bool applyOps(Key &root, const std::vector<ImportOp> &ops, HiveId hive)
{
    bool changed = false;
    for (const ImportOp &op : ops) {
        if (op.hive != hive)
            continue;
        switch (op.kind) {
        case ImportOp::CreateKey:
        case ImportOp::SetValue: {
            Key *k = &root;
            for (const std::string &part : op.path) {
                bool created = false;
                k = &k->ensureChild(part, &created);
                changed = changed || created;
            }
            if (op.kind == ImportOp::SetValue)
                changed = k->setValue(op.value.name, op.value.type, op.value.data) || changed;
            break;
        }
        case ImportOp::DeleteKey: {
            Path parent(op.path.begin(), op.path.end() - 1);
            if (Key *p = findKey(root, parent))
                changed = p->removeChild(op.path.back()) || changed;
            break;
        }
        case ImportOp::DeleteValue:
            if (Key *k = findKey(root, op.path))
                changed = k->removeValue(op.value.name) || changed;
            break;
        }
    }
    return changed;
}

} // namespace platform::detail

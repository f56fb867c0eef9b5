#include "text/metadata/front_matter.h"

#include "html/encoding/utf8.h"

#include <cstdio>

namespace quillan::text::metadata {

void appendYamlString(std::string &out, std::string_view text)
{
    std::string valid;
    html::utf8::appendReplacingInvalid(text, valid);
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto c = static_cast<unsigned char>(valid[i]);
        switch (c) {
        case '"': out += "\\\""; continue;
        case '\\': out += "\\\\"; continue;
        case '\t': out += "\\t"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case 0: out += "\\0"; continue;
        default: break;
        }
        char escape[12];
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
            continue;
        }
        // U+0080-U+009F (C2 80-9F), U+2028, U+2029 (E2 80 A8-A9), U+FEFF (EF BB BF).
        const std::string_view rest = std::string_view(valid).substr(i);
        if (c == 0xC2 && rest.size() >= 2 && static_cast<unsigned char>(rest[1]) < 0xA0) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(rest[1]));
            out += escape;
            ++i;
            continue;
        }
        if (rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9") || rest.starts_with("\xEF\xBB\xBF")) {
            out += rest[2] == '\xA8' ? "\\L" : rest[2] == '\xA9' ? "\\P" : "\\uFEFF";
            i += 2;
            continue;
        }
        out += char(c);
    }
}

std::string frontMatter(const Metadata &metadata, std::string_view lineEnd)
{
    std::string out = "---";
    out += lineEnd;
    for (const NamedField &field : kFields) {
        const std::string &value = metadata.*field.member;
        if (value.empty())
            continue;
        out += field.name;
        out += ": \"";
        appendYamlString(out, value);
        out += '"';
        out += lineEnd;
    }
    out += "---";
    out += lineEnd;
    return out;
}

} // namespace quillan::text::metadata

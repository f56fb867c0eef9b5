#include "text/metadata/json_object.h"

#include "base/json_string.h"

namespace quillan::text::metadata {

namespace {

void appendMember(std::string &out, std::string_view name, std::string_view value, bool null, JsonLayout layout,
                  bool first)
{
    if (!first)
        out += ',';
    out += layout == JsonLayout::Indented ? "\n  \"" : "\"";
    out += name;
    out += layout == JsonLayout::Indented ? "\": " : "\":";
    if (null) {
        out += "null";
        return;
    }
    out += '"';
    base::AppendJsonString(out, value);
    out += '"';
}

} // namespace

std::string jsonObject(const Metadata &metadata, std::string_view text, std::string_view source, JsonLayout layout)
{
    std::string out = "{";
    out.reserve(text.size() + text.size() / 8 + 1024);
    bool first = true;
    for (const NamedField &field : kFields) {
        const std::string &value = metadata.*field.member;
        appendMember(out, field.name, value, value.empty(), layout, first);
        first = false;
    }
    appendMember(out, "text", text, false, layout, false);
    appendMember(out, "source", source, false, layout, false);
    out += layout == JsonLayout::Indented ? "\n}\n" : "}\n";
    return out;
}

} // namespace quillan::text::metadata

#include "support/MiniChm.h"

#include "base/littleendian.h"
#include "platform/htmlhelp/ChmWriter.h"

#include <stdexcept>

namespace testchm {

MiniChm &MiniChm::add(const std::string &path, std::string data)
{
    objects_[path] = std::move(data);
    return *this;
}

MiniChm &MiniChm::system(const std::string &defaultTopic, const std::string &title)
{
    std::string data;
    base::AppendLe32(data, 3);
    for (const auto &[code, text] :
         {std::pair<std::uint16_t, std::string>{2, defaultTopic}, std::pair<std::uint16_t, std::string>{3, title}}) {
        base::AppendLe16(data, code);
        base::AppendLe16(data, static_cast<std::uint16_t>(text.size() + 1));
        data += text;
        data.push_back('\0');
    }
    return add("/#SYSTEM", std::move(data));
}

MiniChm &MiniChm::contextMap(const std::vector<std::pair<std::int32_t, std::string>> &map)
{
    std::string strings(1, '\0');
    std::string ivb;
    base::AppendLe32(ivb, static_cast<std::uint32_t>(map.size() * 8));
    for (const auto &[id, name] : map) {
        base::AppendLe32(ivb, static_cast<std::uint32_t>(id));
        base::AppendLe32(ivb, static_cast<std::uint32_t>(strings.size()));
        strings += name;
        strings.push_back('\0');
    }
    add("/#IVB", std::move(ivb));
    return add("/#STRINGS", std::move(strings));
}

void MiniChm::write(const std::filesystem::path &path) const
{
    platform::htmlhelp::ChmWriter writer;
    for (const auto &[name, data] : objects_)
        writer.add(name, data);
    writer.write(path);
}

} // namespace testchm

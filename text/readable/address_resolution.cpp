#include "text/readable/address_resolution.h"

namespace quillan::text::readable {

std::string resolveAddress(const BaseAddress &base, std::string_view reference)
{
    if (std::optional<std::string> address = base.resolve(reference))
        return std::move(*address);
    std::string written;
    written.reserve(reference.size());
    for (const char c : reference)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            written.push_back(c);
    const std::size_t start = written.find_first_not_of(' ');
    if (start == std::string::npos)
        return {};
    return written.substr(start, written.find_last_not_of(' ') - start + 1);
}

} // namespace quillan::text::readable

#include "support/environment.h"

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

RegistrySandbox::RegistrySandbox()
{
    if (const char *value = std::getenv("QUILLAN_REGISTRY_DIR"))
        previous_ = value;
    if (::setenv("QUILLAN_REGISTRY_DIR", dir_.path().c_str(), 1) != 0)
        throw std::runtime_error("cannot set QUILLAN_REGISTRY_DIR");
}

RegistrySandbox::~RegistrySandbox()
{
    if (previous_)
        ::setenv("QUILLAN_REGISTRY_DIR", previous_->c_str(), 1);
    else
        ::unsetenv("QUILLAN_REGISTRY_DIR");
}

ScopedEnvironment::ScopedEnvironment(const char *name, std::optional<std::string> value) : name_(name)
{
    if (const char *old = std::getenv(name))
        previous_ = old;
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (previous_)
        ::setenv(name_.c_str(), previous_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

void clearProxyEnvironment()
{
    for (const char *name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
}

} // namespace testsupport

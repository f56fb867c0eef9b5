// A shared library that links the registry can still be unloaded after it
// has used it (hosts free component libraries that report they can go).
#include "registry_fixture.h"

#include <dlfcn.h>

TEST_F(RegistryTest, ModuleUsingTheRegistryCanBeUnloaded)
{
    void *module = dlopen(REGISTRY_PROBE_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto probe = reinterpret_cast<int (*)()>(dlsym(module, "probeWriteAndRead"));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe(), 0);
    EXPECT_EQ(platform::RegReadString(platform::HKEY_LOCAL_MACHINE, "Software\\Classes\\Probe", ""), "value");
    ASSERT_EQ(dlclose(module), 0);
    void *still = dlopen(REGISTRY_PROBE_MODULE, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(still, nullptr) << "the module stayed loaded after dlclose";
    if (still)
        dlclose(still);
}

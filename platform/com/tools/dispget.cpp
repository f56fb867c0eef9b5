// dispget: creates an object by ProgID or class identifier and reads one of
// its properties late-bound (IDispatch::Invoke, property get, no arguments).
//
//   dispget PROGID-or-{CLSID} DISPID-or-NAME
//
// Prints the value (an automation Boolean as -1 or 0). On failure prints the
// status in hexadecimal with its meaning and exits with 1 (2 for bad
// arguments).
#include "platform/com/activation.h"
#include "platform/com/com.h"
#include "platform/registry/registry.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

using namespace platform;

namespace {

int fail(const char *what, HRESULT hr)
{
    std::fprintf(stderr, "dispget: %s: %s %s\n", what, HResultHex(hr).c_str(), HResultMessage(hr).c_str());
    // The registry knows which hive file could not be read, and where.
    if (hr == REGDB_E_READREGDB)
        if (const std::string why = RegLastErrorMessage(); !why.empty())
            std::fprintf(stderr, "dispget: %s\n", why.c_str());
    return 1;
}

// Decimal (optionally negative) or 0x hexadecimal dispatch identifier.
bool parseDispid(std::string_view s, DISPID &id)
{
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        std::uint32_t v = 0;
        auto [p, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), v, 16);
        if (ec != std::errc() || p != s.data() + s.size())
            return false;
        id = static_cast<DISPID>(v);
        return true;
    }
    std::int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    if (ec != std::errc() || p != s.data() + s.size() || v < INT32_MIN || v > UINT32_MAX)
        return false;
    id = static_cast<DISPID>(static_cast<std::uint32_t>(v));
    return true;
}

int run(const std::string &object, const std::string &member)
{
    IDispatch *disp = nullptr;
    HRESULT hr = CreateObjectByName(object, IID_IDispatch, reinterpret_cast<void **>(&disp));
    if (FAILED(hr))
        return fail(("cannot create " + object).c_str(), hr);

    DISPID id = 0;
    if (!parseDispid(member, id)) {
        std::u16string name = Utf8ToOle(member);
        LPOLESTR names[1] = {name.data()};
        hr = disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) {
            disp->Release();
            return fail(("cannot find member " + member).c_str(), hr);
        }
    }

    DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argErr = 0;
    hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &noArgs, &result, &excep, &argErr);
    disp->Release();
    if (hr == DISP_E_EXCEPTION) {
        HRESULT inner = excep.scode;
        ClearExcepInfo(&excep);
        fail(("reading " + member).c_str(), hr);
        return fail("  raised", inner);
    }
    if (FAILED(hr))
        return fail(("reading " + member).c_str(), hr);

    switch (result.vt) {
    case VT_BOOL: std::printf("%d\n", static_cast<int>(result.boolVal)); break;
    case VT_I2: std::printf("%d\n", static_cast<int>(result.iVal)); break;
    case VT_I4: std::printf("%d\n", static_cast<int>(result.lVal)); break;
    case VT_BSTR: std::printf("%s\n", OleToUtf8(result.bstrVal).c_str()); break;
    case VT_EMPTY: std::printf("\n"); break;
    default: std::printf("(value of type %u)\n", static_cast<unsigned>(result.vt)); break;
    }
    VariantClear(&result);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dispget PROGID-or-{CLSID} DISPID-or-NAME\n");
        return 2;
    }
    return run(argv[1], argv[2]);
}

// The IUnknown part that the objects of this runtime share: QueryInterface
// over a fixed list of identifiers, and a reference count that deletes the
// object when it drops to zero. Header only, so that component libraries
// can use it without linking anything.
#pragma once

#include "platform/com/com.h"

#include <atomic>
#include <initializer_list>

namespace platform {

// QueryInterface for an object that has one interface pointer to give:
// `self`, AddRef'd, for each identifier in `offered`; E_NOINTERFACE (and a
// null *ppv) for any other; E_POINTER when ppv is null.
template <typename Interface>
HRESULT QueryInterfaceFor(Interface *self, REFIID riid, void **ppv, std::initializer_list<IID> offered)
{
    if (!ppv)
        return E_POINTER;
    for (const IID &iid : offered) {
        if (iid == riid) {
            *ppv = self;
            self->AddRef();
            return S_OK;
        }
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// AddRef and Release of an object that starts with one reference and
// deletes itself when the last one goes. Derived is the concrete class (it
// names this base a friend when its destructor is private); Interface is
// the interface it implements, so that the virtual table keeps exactly the
// interface's slots. Count is std::atomic<ULONG> for objects that may be
// shared between threads, plain ULONG for apartment objects.
template <typename Derived, typename Interface, typename Count = std::atomic<ULONG>>
class RefCounted : public Interface {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override
    {
        const ULONG n = --refs_;
        if (n == 0)
            delete static_cast<Derived *>(this);
        return n;
    }

protected:
    RefCounted() = default;
    ~RefCounted() = default;
    RefCounted(const RefCounted &) = delete;
    RefCounted &operator=(const RefCounted &) = delete;

private:
    Count refs_{1};
};

} // namespace platform

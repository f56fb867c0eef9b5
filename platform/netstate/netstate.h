// Connection state: the stand-in for InternetGetConnectedState.
//
// Every call reads the kernel afresh (rtnetlink, in the calling process's
// network namespace); nothing is cached.
//
// - Online: the kernel has a default route (IPv4 or IPv6, unicast, any table
//   but the local one) through an interface that is up and running (carrier
//   present) and is not loopback.
// - INTERNET_CONNECTION_LAN (0x02): such an interface is Ethernet-like:
//   wired, wireless, bridge, veth, or a tunnel.
// - INTERNET_CONNECTION_MODEM (0x01): such an interface is PPP or raw-IP
//   (cellular), or is a WWAN device.
// - INTERNET_CONNECTION_PROXY (0x04): a non-empty http_proxy, https_proxy or
//   all_proxy (lower or upper case) is set; reported whatever the online
//   answer.
// When the kernel's state cannot be read, the call reports a failure and no
// answer: never a guess.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

using DWORD = std::uint32_t;
using BOOL = std::int32_t;

inline constexpr DWORD INTERNET_CONNECTION_MODEM = 0x01;
inline constexpr DWORD INTERNET_CONNECTION_LAN = 0x02;
inline constexpr DWORD INTERNET_CONNECTION_PROXY = 0x04;

// Fills *lpdwFlags (which may be null) and returns non-zero when online.
// When the kernel state cannot be read it returns 0, leaves only the proxy
// bit in the flags, and NetstateLastError() on this thread gives the
// failure's errno; after a successful read NetstateLastError() is 0.
BOOL InternetGetConnectedState(DWORD *lpdwFlags, DWORD dwReserved);
int NetstateLastError();

namespace netstate {

// One network interface as the kernel reports it.
struct Link {
    int index = 0;
    std::string name;
    unsigned flags = 0;      // IFF_*
    unsigned short type = 0; // ARPHRD_*
    std::string parentBus;   // bus of the parent device ("usb", "pci" ...), if reported
};

// A default route's outgoing interface (a multipath route gives several).
struct DefaultRoute {
    int family = 0; // AF_INET or AF_INET6
    int interfaceIndex = 0;
};

struct KernelSnapshot {
    std::vector<Link> links;
    std::vector<DefaultRoute> routes;
};

// What kind of device an interface is: its hardware type and, when known,
// the device type the kernel announces in uevent (DEVTYPE, e.g. "wlan",
// "wwan", "bridge").
struct InterfaceType {
    unsigned short arphrd = 0;
    std::string devtype;
};

// The source of interface types. The default one takes the hardware type
// from the kernel's link report, and for Ethernet-framed USB devices (where
// a cellular modem may hide) DEVTYPE from /sys/class/net/<name>/uevent when
// that entry belongs to the same interface (same index; sysfs may show
// another namespace).
using InterfaceTypeSource = std::function<InterfaceType(const Link &link)>;
InterfaceType kernelInterfaceType(const Link &link);

enum class LinkKind { Loopback, Lan, Modem, Other };
LinkKind classify(const InterfaceType &type);

// Reads the links and default routes of the calling namespace. Empty
// optional on failure, with the errno in *error.
std::optional<KernelSnapshot> readKernel(int *error);

// The proxy bit from the environment, read now.
DWORD proxyFlag();

struct ConnectedState {
    bool online = false;
    DWORD flags = 0; // INTERNET_CONNECTION_*
};

// Applies the rules above to a snapshot (without the proxy bit).
ConnectedState evaluate(const KernelSnapshot &snapshot, const InterfaceTypeSource &types);

// Result of one full query.
struct QueryResult {
    bool readable = false; // false: the kernel state could not be read
    int error = 0;         // errno when not readable
    ConnectedState state;  // with the proxy bit
};
QueryResult query(const InterfaceTypeSource &types = kernelInterfaceType);

// Replaces the interface-type source InternetGetConnectedState uses (for
// tests: e.g. to present an interface as a modem); an empty function puts
// the kernel's back.
void setInterfaceTypeSource(InterfaceTypeSource source);

} // namespace netstate
} // namespace platform

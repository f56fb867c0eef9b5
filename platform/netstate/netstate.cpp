// Connection state from rtnetlink: link and route dumps of the calling
// namespace, read on every call.
#include "platform/netstate/netstate.h"

#include "base/fd_io.h"

#include <fcntl.h>
#include <linux/if_arp.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

// The netlink macros cast byte pointers to message and attribute headers;
// the protocol keeps those 4-byte aligned (NLMSG_ALIGN, RTA_ALIGN) inside a
// buffer aligned for nlmsghdr.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wcast-align"
#endif

namespace platform {

namespace netstate {

namespace {

// Owns the netlink socket for one query.
class NetlinkSocket {
public:
    NetlinkSocket() : fd_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {}
    int fd() const { return fd_.get(); }

private:
    base::UniqueFd fd_;
};

// Receives the kernel's answers to request `seq` and hands every message to
// `each` until the dump ends (or, for a single request, until the one answer
// arrived). Returns 0 or an errno.
template <typename Each>
int receive(int fd, std::uint32_t seq, bool isDump, Each each)
{
    alignas(nlmsghdr) static thread_local char buffer[64 * 1024];
    for (;;) {
        iovec iov{buffer, sizeof buffer};
        sockaddr_nl from{};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        ssize_t n = ::recvmsg(fd, &msg, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EPIPE;
        if (msg.msg_flags & MSG_TRUNC)
            return EMSGSIZE;
        if (from.nl_pid != 0)
            continue; // not from the kernel
        auto len = static_cast<unsigned>(n);
        for (auto *h = reinterpret_cast<nlmsghdr *>(buffer); NLMSG_OK(h, len); h = NLMSG_NEXT(h, len)) {
            if (h->nlmsg_seq != seq)
                continue;
            if (h->nlmsg_type == NLMSG_DONE)
                return 0;
            if (h->nlmsg_type == NLMSG_ERROR) {
                auto *err = static_cast<nlmsgerr *>(NLMSG_DATA(h));
                return err->error ? -err->error : EPROTO;
            }
            if (h->nlmsg_flags & NLM_F_DUMP_INTR)
                return EAGAIN;
            each(h);
            if (!isDump)
                return 0;
        }
    }
}

int sendRequest(int fd, const void *request, std::size_t length)
{
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, request, length, 0, reinterpret_cast<sockaddr *>(&kernel), sizeof kernel) < 0)
        return errno;
    return 0;
}

// Dumps the routes of both address families.
template <typename Each>
int dumpRoutes(int fd, std::uint32_t seq, Each each)
{
    struct {
        nlmsghdr hdr;
        rtmsg rt;
    } req{};
    req.hdr.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    req.hdr.nlmsg_type = RTM_GETROUTE;
    req.hdr.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    req.hdr.nlmsg_seq = seq;
    req.rt.rtm_family = AF_UNSPEC;
    if (int e = sendRequest(fd, &req, req.hdr.nlmsg_len))
        return e;
    return receive(fd, seq, true, each);
}

// Asks for one interface by its index.
template <typename Each>
int getLink(int fd, std::uint32_t seq, int index, Each each)
{
    struct {
        nlmsghdr hdr;
        ifinfomsg ifi;
    } req{};
    req.hdr.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
    req.hdr.nlmsg_type = RTM_GETLINK;
    req.hdr.nlmsg_flags = NLM_F_REQUEST;
    req.hdr.nlmsg_seq = seq;
    req.ifi.ifi_family = AF_UNSPEC;
    req.ifi.ifi_index = index;
    if (int e = sendRequest(fd, &req, req.hdr.nlmsg_len))
        return e;
    return receive(fd, seq, false, each);
}

void parseLink(nlmsghdr *h, std::vector<Link> &links)
{
    if (h->nlmsg_type != RTM_NEWLINK || h->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
        return;
    auto *ifi = static_cast<ifinfomsg *>(NLMSG_DATA(h));
    Link link;
    link.index = ifi->ifi_index;
    link.flags = ifi->ifi_flags;
    link.type = ifi->ifi_type;
    int attrLen = static_cast<int>(h->nlmsg_len - NLMSG_LENGTH(sizeof(ifinfomsg)));
    for (auto *a = IFLA_RTA(ifi); RTA_OK(a, attrLen); a = RTA_NEXT(a, attrLen)) {
        if (a->rta_type == IFLA_IFNAME) {
            const char *name = static_cast<const char *>(RTA_DATA(a));
            link.name.assign(name, strnlen(name, RTA_PAYLOAD(a)));
        } else if (a->rta_type == IFLA_PARENT_DEV_BUS_NAME) {
            const char *bus = static_cast<const char *>(RTA_DATA(a));
            link.parentBus.assign(bus, strnlen(bus, RTA_PAYLOAD(a)));
        }
    }
    links.push_back(std::move(link));
}

void parseRoute(nlmsghdr *h, std::vector<DefaultRoute> &routes)
{
    if (h->nlmsg_type != RTM_NEWROUTE || h->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
        return;
    auto *rt = static_cast<rtmsg *>(NLMSG_DATA(h));
    if (rt->rtm_dst_len != 0 || rt->rtm_type != RTN_UNICAST)
        return;
    if (rt->rtm_family != AF_INET && rt->rtm_family != AF_INET6)
        return;
    std::uint32_t table = rt->rtm_table;
    int oif = 0;
    std::vector<int> hops;
    int attrLen = static_cast<int>(h->nlmsg_len - NLMSG_LENGTH(sizeof(rtmsg)));
    for (auto *a = RTM_RTA(rt); RTA_OK(a, attrLen); a = RTA_NEXT(a, attrLen)) {
        if (a->rta_type == RTA_TABLE && RTA_PAYLOAD(a) >= sizeof(std::uint32_t)) {
            std::memcpy(&table, RTA_DATA(a), sizeof table);
        } else if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) >= sizeof(int)) {
            std::memcpy(&oif, RTA_DATA(a), sizeof oif);
        } else if (a->rta_type == RTA_MULTIPATH) {
            auto *nh = static_cast<rtnexthop *>(RTA_DATA(a));
            int left = static_cast<int>(RTA_PAYLOAD(a));
            while (left >= static_cast<int>(sizeof(rtnexthop)) && nh->rtnh_len >= sizeof(rtnexthop) &&
                   nh->rtnh_len <= left) {
                if (!(nh->rtnh_flags & (RTNH_F_DEAD | RTNH_F_LINKDOWN)))
                    hops.push_back(nh->rtnh_ifindex);
                left -= RTNH_ALIGN(nh->rtnh_len);
                nh = RTNH_NEXT(nh);
            }
        }
    }
    if (table == RT_TABLE_LOCAL || table == RT_TABLE_UNSPEC)
        return;
    if (oif != 0)
        routes.push_back({rt->rtm_family, oif});
    for (int hop : hops)
        routes.push_back({rt->rtm_family, hop});
}

bool isSet(const char *name)
{
    const char *v = std::getenv(name);
    return v && *v;
}

std::mutex &sourceMutex()
{
    static std::mutex m;
    return m;
}

InterfaceTypeSource &injectedSource()
{
    static InterfaceTypeSource source;
    return source;
}

thread_local int lastError = 0;

} // namespace

std::optional<KernelSnapshot> readKernel(int *error)
{
    auto failWith = [&](int e) -> std::optional<KernelSnapshot> {
        if (error)
            *error = e ? e : EIO;
        return std::nullopt;
    };
    NetlinkSocket sock;
    if (sock.fd() < 0)
        return failWith(errno);
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (::bind(sock.fd(), reinterpret_cast<sockaddr *>(&local), sizeof local) < 0)
        return failWith(errno);

    KernelSnapshot snap;
    std::uint32_t seq = 1;
    if (int e = dumpRoutes(sock.fd(), seq, [&](nlmsghdr *h) { parseRoute(h, snap.routes); }))
        return failWith(e);
    // Only the interfaces that default routes go through matter.
    for (const auto &route : snap.routes) {
        bool known = false;
        for (const auto &l : snap.links)
            known |= l.index == route.interfaceIndex;
        if (known)
            continue;
        int e = getLink(sock.fd(), ++seq, route.interfaceIndex, [&](nlmsghdr *h) { parseLink(h, snap.links); });
        // An interface that vanished since the route dump is simply absent.
        if (e && e != ENODEV)
            return failWith(e);
    }
    if (error)
        *error = 0;
    return snap;
}

namespace {

// Reads a small sysfs file whole; empty on failure.
std::string readSmallFile(const std::string &path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buf[512];
    ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

InterfaceType kernelInterfaceType(const Link &link)
{
    InterfaceType t;
    t.arphrd = link.type;
    // Only an Ethernet-framed device on USB may be a cellular modem in
    // Ethernet mode; its uevent says DEVTYPE=wwan. Everything else is told
    // apart by its hardware type alone, which keeps a read cheap.
    if (link.type != ARPHRD_ETHER || link.parentBus != "usb")
        return t;
    if (link.name.empty() || link.name.find('/') != std::string::npos || link.name == "." || link.name == "..")
        return t;
    const std::string uevent = readSmallFile("/sys/class/net/" + link.name + "/uevent");
    auto field = [&](const char *key) -> std::string {
        const std::string k = std::string("\n") + key + "=";
        auto pos = ("\n" + uevent).find(k);
        if (pos == std::string::npos)
            return {};
        auto begin = pos + k.size() - 1;
        auto end = uevent.find('\n', begin);
        return uevent.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    };
    // sysfs may show another namespace's device of the same name: use it
    // only when it describes this very interface.
    if (field("IFINDEX") != std::to_string(link.index))
        return t;
    t.devtype = field("DEVTYPE");
    return t;
}

LinkKind classify(const InterfaceType &type)
{
    if (type.arphrd == ARPHRD_LOOPBACK)
        return LinkKind::Loopback;
    if (type.devtype == "wwan")
        return LinkKind::Modem;
    switch (type.arphrd) {
    case ARPHRD_PPP:
    case ARPHRD_RAWIP: return LinkKind::Modem;
    case ARPHRD_ETHER: // wired, wireless, bridge, veth, tap
    case ARPHRD_EETHER:
    case ARPHRD_IEEE802:
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_PRISM:
    case ARPHRD_IEEE80211_RADIOTAP:
    case ARPHRD_TUNNEL:  // ipip
    case ARPHRD_TUNNEL6: // ip6tnl
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case ARPHRD_IP6GRE:
    case ARPHRD_NONE: // tun, wireguard
        return LinkKind::Lan;
    default: return LinkKind::Other;
    }
}

ConnectedState evaluate(const KernelSnapshot &snapshot, const InterfaceTypeSource &types)
{
    ConnectedState state;
    for (const auto &route : snapshot.routes) {
        const Link *link = nullptr;
        for (const auto &l : snapshot.links)
            if (l.index == route.interfaceIndex)
                link = &l;
        if (!link || !(link->flags & IFF_UP) || !(link->flags & IFF_RUNNING) || (link->flags & IFF_LOOPBACK))
            continue;
        LinkKind kind = classify(types ? types(*link) : kernelInterfaceType(*link));
        if (kind == LinkKind::Loopback)
            continue;
        state.online = true;
        if (kind == LinkKind::Lan)
            state.flags |= INTERNET_CONNECTION_LAN;
        else if (kind == LinkKind::Modem)
            state.flags |= INTERNET_CONNECTION_MODEM;
    }
    return state;
}

DWORD proxyFlag()
{
    for (const char *name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        if (isSet(name))
            return INTERNET_CONNECTION_PROXY;
    return 0;
}

QueryResult query(const InterfaceTypeSource &types)
{
    QueryResult r;
    auto snap = readKernel(&r.error);
    if (!snap)
        return r;
    r.readable = true;
    r.state = evaluate(*snap, types);
    r.state.flags |= proxyFlag();
    return r;
}

void setInterfaceTypeSource(InterfaceTypeSource source)
{
    std::lock_guard lock(sourceMutex());
    injectedSource() = std::move(source);
}

} // namespace netstate

BOOL InternetGetConnectedState(DWORD *lpdwFlags, DWORD dwReserved)
{
    (void)dwReserved;
    netstate::InterfaceTypeSource source;
    {
        std::lock_guard lock(netstate::sourceMutex());
        source = netstate::injectedSource();
    }
    auto r = netstate::query(source ? source : netstate::InterfaceTypeSource(netstate::kernelInterfaceType));
    netstate::lastError = r.readable ? 0 : r.error;
    if (lpdwFlags)
        *lpdwFlags = r.readable ? r.state.flags : netstate::proxyFlag();
    return r.readable && r.state.online ? 1 : 0;
}

int NetstateLastError()
{
    return netstate::lastError;
}

} // namespace platform

// Connection state: the rules over kernel snapshots, and the real kernel in
// throw-away network namespaces (as root).
#include "platform/netstate/netstate.h"
#include "support/environment.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <linux/if.h>
#include <linux/if_arp.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <cstdlib>

using namespace platform;
using namespace platform::netstate;
using namespace testsupport;

namespace {

constexpr unsigned kUpRunning = IFF_UP | IFF_RUNNING;

// Interface types straight from the snapshot, no sysfs.
InterfaceType fromLink(const Link &l)
{
    return {l.type, {}};
}

std::string describe(const QueryResult &r)
{
    if (!r.readable)
        return "unreadable";
    return std::string(r.state.online ? "online" : "offline") + " flags=" + std::to_string(r.state.flags);
}

} // namespace

// ---------------------------------------------------------------------------
// The rules, over snapshots

TEST(ConnectionRules, DefaultRouteDecidesOnlineAndInterfaceKindDecidesBits)
{
    KernelSnapshot s;
    s.links = {{1, "lo", kUpRunning | IFF_LOOPBACK, ARPHRD_LOOPBACK, {}},
               {2, "eth0", kUpRunning, ARPHRD_ETHER, {}},
               {3, "ppp0", kUpRunning, ARPHRD_PPP, {}},
               {4, "wwan0", kUpRunning, ARPHRD_RAWIP, {}},
               {5, "tun0", kUpRunning, ARPHRD_NONE, {}}};

    EXPECT_FALSE(evaluate(s, fromLink).online) << "no route at all is offline";

    s.routes = {{AF_INET, 1}};
    EXPECT_FALSE(evaluate(s, fromLink).online) << "a default route through loopback does not count";

    s.routes = {{AF_INET, 2}};
    auto lan = evaluate(s, fromLink);
    EXPECT_TRUE(lan.online);
    EXPECT_EQ(lan.flags, INTERNET_CONNECTION_LAN);

    s.routes = {{AF_INET6, 3}};
    auto ppp = evaluate(s, fromLink);
    EXPECT_TRUE(ppp.online);
    EXPECT_EQ(ppp.flags, INTERNET_CONNECTION_MODEM);

    s.routes = {{AF_INET, 4}};
    EXPECT_EQ(evaluate(s, fromLink).flags, INTERNET_CONNECTION_MODEM) << "raw-IP (cellular) is a modem";

    s.routes = {{AF_INET, 5}};
    EXPECT_EQ(evaluate(s, fromLink).flags, INTERNET_CONNECTION_LAN) << "a tunnel is LAN-like";

    // A multipath route over a LAN and a modem link reports both.
    s.routes = {{AF_INET, 2}, {AF_INET, 3}};
    EXPECT_EQ(evaluate(s, fromLink).flags, INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_MODEM);
}

TEST(ConnectionRules, InterfaceMustBeUpAndRunning)
{
    KernelSnapshot s;
    s.links = {{2, "eth0", IFF_UP, ARPHRD_ETHER, {}}, {3, "eth1", IFF_RUNNING, ARPHRD_ETHER, {}}};
    s.routes = {{AF_INET, 2}, {AF_INET, 3}, {AF_INET, 9}};
    auto st = evaluate(s, fromLink);
    EXPECT_FALSE(st.online) << "without carrier, administratively down, or unknown: offline";
    EXPECT_EQ(st.flags, 0u);
}

TEST(ConnectionRules, InjectedTypeTurnsEthernetIntoModem)
{
    KernelSnapshot s;
    s.links = {{2, "usb0", kUpRunning, ARPHRD_ETHER, {}}};
    s.routes = {{AF_INET, 2}};
    // A WWAN modem presenting itself as Ethernet announces DEVTYPE=wwan.
    auto st = evaluate(s, [](const Link &l) { return InterfaceType{l.type, "wwan"}; });
    EXPECT_TRUE(st.online);
    EXPECT_EQ(st.flags, INTERNET_CONNECTION_MODEM);
}

TEST(ConnectionRules, ProxyVariablesInEitherCaseSetTheProxyBit)
{
    clearProxyEnvironment();
    EXPECT_EQ(proxyFlag(), 0u);
    for (const char *name : {"http_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        setenv(name, "", 1);
        EXPECT_EQ(proxyFlag(), 0u) << name << " set but empty";
        setenv(name, "http://proxy.example:3128", 1);
        EXPECT_EQ(proxyFlag(), INTERNET_CONNECTION_PROXY) << name;
        unsetenv(name);
    }
}

TEST(ConnectionRules, KernelOfThisProcessIsReadable)
{
    int error = -1;
    auto snap = readKernel(&error);
    ASSERT_TRUE(snap.has_value()) << "errno " << error;
    EXPECT_EQ(error, 0);
    // Every default route's interface is described (the reader fetches
    // exactly those).
    for (const auto &r : snap->routes) {
        bool known = false;
        for (const auto &l : snap->links)
            known |= l.index == r.interfaceIndex;
        EXPECT_TRUE(known) << "route through unknown interface " << r.interfaceIndex;
    }
}

// ---------------------------------------------------------------------------
// The real kernel, in fresh network namespaces

class ConnectionNamespace : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearProxyEnvironment();
        if (!netns::available())
            GTEST_SKIP() << "needs root, network namespaces and the ip tool";
    }
};

TEST_F(ConnectionNamespace, NoRouteIsOffline)
{
    auto r = netns::run([] {
        netns::sh("ip link set lo up");
        DWORD flags = 0xFFFF;
        BOOL online = InternetGetConnectedState(&flags, 0);
        return std::to_string(online) + " " + std::to_string(flags) + " " + std::to_string(NetstateLastError());
    });
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.output, "0 0 0");
}

TEST_F(ConnectionNamespace, VethWithDefaultRouteIsOnlineOverLan)
{
    auto r = netns::run([] {
        if (!netns::addVethWithDefaultRoute())
            return std::string("setup failed");
        std::string out = describe(query());
        // Taking the interface down removes the route: offline again.
        netns::sh("ip link set nv0 down");
        return out + " / " + describe(query());
    });
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.output, "online flags=2 / offline flags=0");
}

TEST_F(ConnectionNamespace, PeerWithoutCarrierIsOffline)
{
    auto r = netns::run([] {
        bool ok = netns::sh("ip link add nv0 type veth peer name nv1") && netns::sh("ip link set nv0 up") &&
                  netns::sh("ip addr add 10.200.0.1/24 dev nv0") &&
                  netns::sh("ip route add default via 10.200.0.2 dev nv0");
        return ok ? describe(query()) : std::string("setup failed");
    });
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.output, "offline flags=0");
}

TEST_F(ConnectionNamespace, Ipv6DefaultRouteAloneIsOnline)
{
    auto r = netns::run([] {
        bool ok = netns::sh("ip link add nv0 type veth peer name nv1") && netns::sh("ip link set nv1 up") &&
                  netns::sh("ip link set nv0 up") && netns::sh("ip -6 addr add fd42::1/64 dev nv0 nodad") &&
                  netns::sh("ip -6 route add default via fd42::2 dev nv0");
        return ok ? describe(query()) : std::string("no ipv6");
    });
    ASSERT_TRUE(r.completed);
    if (r.output == "no ipv6")
        GTEST_SKIP() << "IPv6 unavailable in the namespace";
    EXPECT_EQ(r.output, "online flags=2");
}

TEST_F(ConnectionNamespace, ProxyBitIsReportedEvenOffline)
{
    setenv("https_proxy", "http://127.0.0.1:3128", 1);
    auto r = netns::run([] {
        DWORD flags = 0;
        BOOL online = InternetGetConnectedState(&flags, 0);
        return std::to_string(online) + " " + std::to_string(flags);
    });
    unsetenv("https_proxy");
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.output, "0 4");
}

TEST_F(ConnectionNamespace, InjectedPppTypeMakesTheRouteAModem)
{
    auto r = netns::run([] {
        if (!netns::addVethWithDefaultRoute())
            return std::string("setup failed");
        setInterfaceTypeSource([](const Link &l) {
            return InterfaceType{l.name == "nv0" ? static_cast<unsigned short>(ARPHRD_PPP) : l.type, {}};
        });
        DWORD flags = 0;
        BOOL online = InternetGetConnectedState(&flags, 0);
        setInterfaceTypeSource({});
        DWORD after = 0;
        InternetGetConnectedState(&after, 0);
        return std::to_string(online) + " " + std::to_string(flags) + " " + std::to_string(after);
    });
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.output, "1 1 2") << "modem through the injected type, LAN again with the kernel's";
}

// ---------------------------------------------------------------------------
// When the kernel cannot be asked

TEST(ConnectionFailure, UnreadableKernelIsReportedNotGuessed)
{
    // A child that may open no file descriptor cannot open a netlink socket.
    const ChildResult child = runInChild([] {
        setenv("http_proxy", "http://127.0.0.1:3128", 1);
        rlimit none{0, 0};
        setrlimit(RLIMIT_NOFILE, &none);
        DWORD flags = 0xFF;
        BOOL online = InternetGetConnectedState(&flags, 0);
        auto q = query();
        return std::to_string(online) + " " + std::to_string(flags) + " " + std::to_string(NetstateLastError()) + " " +
               (q.readable ? "readable" : "unreadable");
    });
    ASSERT_TRUE(child.completed);
    EXPECT_EQ(child.output, "0 4 " + std::to_string(EMFILE) + " unreadable")
        << "no answer, only the proxy bit, and the reason";
}

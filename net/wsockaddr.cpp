// TCustomWSocket: Addr, Port and Proto, name lookups and address queries.
#include "wsocket.h"
#include "wsockendpoint.h"
#include "ipv4.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <netdb.h>
#include <sstream>
#include <sys/socket.h>
#include <system_error>

namespace {

// Host texts are limited to 256 bytes and service/protocol names to 31, as
// the system's name tables are; longer ones are rejected as unknown.
constexpr size_t kMaxHostText = 256;
constexpr size_t kMaxNameText = 31;

std::string trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Leading decimal digits, modulo 65536 (16-bit port or protocol field).
int readNumber16(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    unsigned value = 0;
    for (; i < s.size() && isDigit(s[i]); ++i)
        value = (value * 10 + static_cast<unsigned>(s[i] - '0')) & 0xFFFFu;
    return static_cast<int>(value);
}

bool hasNul(const std::string& s)
{
    return s.find('\0') != std::string::npos;
}

// A caller's address length, kept within a sockaddr_in.
socklen_t addressLength(int len)
{
    return len < 0 ? 0 : std::min(static_cast<socklen_t>(len), socklen_t(sizeof(sockaddr_in)));
}

// A service or protocol name the system's tables could hold.
bool isTableName(const std::string& s)
{
    return s.size() <= kMaxNameText && !hasNul(s);
}

// The port (network order) of a service name in the system's table.
bool servicePort(const std::string& name, const std::string& proto, in_port_t& port)
{
    if (!isTableName(name) || !isTableName(proto))
        return false;
    servent entry{};
    servent* found = nullptr;
    char work[1024];
    ::getservbyname_r(name.c_str(), proto.empty() ? nullptr : proto.c_str(), &entry, work, sizeof work, &found);
    if (!found)
        return false;
    port = static_cast<in_port_t>(found->s_port);
    return true;
}

// The number of a protocol name in the system's table; "tcp" and "udp" are
// known also on a system without /etc/protocols.
bool protocolNumber(const std::string& name, int& proto)
{
    if (!isTableName(name))
        return false;
    protoent entry{};
    protoent* found = nullptr;
    char work[1024];
    ::getprotobyname_r(name.c_str(), &entry, work, sizeof work, &found);
    if (found)
        proto = found->p_proto;
    else if (name == "tcp")
        proto = IPPROTO_TCP;
    else if (name == "udp")
        proto = IPPROTO_UDP;
    else
        return false;
    return true;
}

} // namespace

uint32_t WSocketResolveHost(const std::string& host)
{
    std::string text = trim(host);
    auto fail = [&host]() -> uint32_t {
        throw ESocketException("SetAddr: Cannot convert host address '" + host + "'");
    };
    if (text.empty() || text.size() > kMaxHostText || hasNul(text))
        return fail();
    in_addr_t a = ::inet_addr(text.c_str());
    if (a != INADDR_NONE || text == "255.255.255.255")
        return a;
    uint32_t address = 0;
    if (!ipv4::firstAddress(text, address))
        return fail();
    return address;
}

bool TCustomWSocket::storeSetting(std::string& field, bool assigned, const std::string& value, const char* name)
{
    if (assigned && value == field)
        return false;
    field = value;
    if (FState != wsClosed)
        throw ESocketException(std::string("Cannot change ") + name + " if not closed");
    return true;
}

void TCustomWSocket::rejectSetting(bool& assigned, int code, const std::string& function)
{
    assigned = false;
    raiseError(code, function);
}

void TCustomWSocket::SetAddr(const std::string& addr)
{
    if (!storeSetting(FAddrStr, FAddrAssigned, addr, "Addr"))
        return;
    FAddrAssigned = false;
    sin.sin_addr.s_addr = WSocketResolveHost(addr);
    FAddrAssigned = true;
}

void TCustomWSocket::SetPort(const std::string& port)
{
    if (!storeSetting(FPortStr, FPortAssigned, port, "Port"))
        return;
    FPortAssigned = true;
    std::string text = trim(port);
    const std::string failure = "SetPort: Cannot convert port '" + port + "'";
    if (text.empty())
        rejectSetting(FPortAssigned, WSAEINVAL, failure);
    if (isDigit(text[0]))
        sin.sin_port = htons(static_cast<uint16_t>(readNumber16(text)));
    else if (!servicePort(text, trim(FProtoStr), sin.sin_port))
        rejectSetting(FPortAssigned, WSANO_DATA, failure);
    FPortNum = ntohs(sin.sin_port);
}

void TCustomWSocket::SetProto(const std::string& proto)
{
    if (!storeSetting(FProtoStr, FProtoAssigned, proto, "Proto"))
        return;
    std::string text = trim(proto);
    if (text == "not found")
        return;
    FProtoAssigned = true;
    const std::string failure = "SetProto: Cannot convert protocol '" + proto + "'";
    if (text.empty())
        rejectSetting(FProtoAssigned, WSAEINVAL, failure);
    if (isDigit(text[0]))
        FProto = readNumber16(text);
    else if (!protocolNumber(text, FProto))
        rejectSetting(FProtoAssigned, WSANO_DATA, failure);
    FType = FProto == IPPROTO_UDP ? kDatagramSocket : kStreamSocket;
}

void TCustomWSocket::SetLocalAddr(const std::string& addr)
{
    FLocalAddr = trim(addr).empty() ? 0 : WSocketResolveHost(addr);
    FLocalAddrStr = addr;
}

void TCustomWSocket::BindSocket()
{
    if (bindLocal(FHSocket) != 0)
        throw ESocketException("winsock.bind failed, error #" + std::to_string(WSocketSaveErrno()));
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        throw ESocketException("winsock.getsockname failed, error #" + std::to_string(WSocketSaveErrno()));
    FLocalPort = ntohs(local.sin_port);
}

void TCustomWSocket::DnsLookup(const std::string& hostName)
{
    if (hostName.empty() || hostName.size() > kMaxHostText || hasNul(hostName))
        throw ESocketException("DNS lookup: invalid host name.");
    if (FDnsLookupHandle != 0) {
        // Superseded: its answer is dropped without an event.
        FWindowHandle->CancelLookup();
        FDnsLookupHandle = 0;
    }
    FDnsResult.clear();
    FDnsResultList.clear();
    in_addr_t a = ::inet_addr(hostName.c_str());
    if (a != INADDR_NONE) {
        FDnsResult = ipv4::dotted(a);
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, 0);
        return;
    }
    try {
        FDnsLookupHandle = FWindowHandle->StartLookup(hostName);
    } catch (const std::system_error& e) {
        throw ESocketException(hostName + ": can't start DNS lookup, error #" + std::to_string(e.code().value()));
    }
}

void TCustomWSocket::CancelDnsLookup()
{
    if (FDnsLookupHandle == 0)
        return;
    FWindowHandle->CancelLookup();
    FDnsLookupHandle = 0;
    if (!FDestroying && OnDnsLookupDone)
        OnDnsLookupDone(this, WSAEINTR);
}

void TCustomWSocket::WMAsyncGetHostByName(uint32_t request, uint16_t error, const std::vector<std::string>& addresses)
{
    if (request == 0 || request != FDnsLookupHandle)
        return;
    FDnsLookupHandle = 0;
    if (error == 0) {
        FDnsResultList = addresses;
        FDnsResult = addresses.empty() ? std::string() : addresses.front();
    }
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, error);
}

std::string TCustomWSocket::GetPeerAddr()
{
    if (FState != wsConnected)
        return "error";
    if (FType == kDatagramSocket)
        return ipv4::dotted(sin.sin_addr.s_addr); // a datagram socket sends to sin
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(FHSocket, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
        int code = WSocketSaveErrno();
        // A connection that has just ended (its close notification still on
        // the way) must not be closed here without an event: the owner would
        // never see the departure. Its close notification will follow.
        if (code == WSAENOTCONN || code == WSAECONNRESET)
            return "error";
        raiseError(code, "GetPeerName");
    }
    return ipv4::dotted(peer.sin_addr.s_addr);
}

int TCustomWSocket::GetPeerName(sockaddr_in& name, int nameLen)
{
    if (FState != wsConnected)
        return -1;
    socklen_t len = addressLength(nameLen);
    int rc = ::getpeername(FHSocket, reinterpret_cast<sockaddr*>(&name), &len);
    if (rc != 0)
        WSocketSaveErrno();
    return rc;
}

int TCustomWSocket::GetSockName(sockaddr_in& name, int& nameLen)
{
    socklen_t len = addressLength(nameLen);
    int rc = ::getsockname(FHSocket, reinterpret_cast<sockaddr*>(&name), &len);
    if (rc != 0)
        WSocketSaveErrno();
    else
        nameLen = static_cast<int>(len);
    return rc;
}

std::string TCustomWSocket::GetXPort()
{
    if (FState != wsBound && FState != wsConnected && FState != wsListening)
        return "error";
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        return "error";
    return std::to_string(ntohs(local.sin_port));
}

std::string WSocketPeerAddress(TSocket handle)
{
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (handle == INVALID_SOCKET || ::getpeername(handle, reinterpret_cast<sockaddr*>(&peer), &len) != 0 ||
        peer.sin_family != AF_INET)
        return std::string();
    return ipv4::dotted(peer.sin_addr.s_addr);
}

bool WSocketSameConnection(TSocket accepted, TSocket outgoing)
{
    if (accepted == INVALID_SOCKET || outgoing == INVALID_SOCKET)
        return false;
    sockaddr_in aLocal{}, aPeer{}, oLocal{}, oPeer{};
    socklen_t len = sizeof aLocal;
    if (::getsockname(accepted, reinterpret_cast<sockaddr*>(&aLocal), &len) != 0)
        return false;
    len = sizeof aPeer;
    if (::getpeername(accepted, reinterpret_cast<sockaddr*>(&aPeer), &len) != 0)
        return false;
    len = sizeof oLocal;
    if (::getsockname(outgoing, reinterpret_cast<sockaddr*>(&oLocal), &len) != 0)
        return false;
    len = sizeof oPeer;
    if (::getpeername(outgoing, reinterpret_cast<sockaddr*>(&oPeer), &len) != 0)
        return false;
    if (aLocal.sin_family != AF_INET || aPeer.sin_family != AF_INET || oLocal.sin_family != AF_INET ||
        oPeer.sin_family != AF_INET)
        return false;
    if (aPeer.sin_port != oLocal.sin_port || aLocal.sin_port != oPeer.sin_port)
        return false;
    const uint32_t from = aPeer.sin_addr.s_addr;
    if (from == oLocal.sin_addr.s_addr)
        return true;
    if (oPeer.sin_addr.s_addr == aLocal.sin_addr.s_addr)
        return false; // called the very address that accepted: from our own
    // Called elsewhere and translated back here: the router that did it
    // calls from the address that was called or from its side of our
    // network (the gateway). A stranger whose port happens to match calls
    // from neither.
    if (from == oPeer.sin_addr.s_addr)
        return true;
    const uint32_t gateway = WSocketGatewayTo(oPeer.sin_addr.s_addr);
    return gateway != 0 && from == gateway;
}

uint32_t WSocketGatewayTo(uint32_t addr, const std::string& routeTable)
{
    std::string table = routeTable;
    if (table.empty()) {
        std::ifstream in("/proc/net/route");
        table.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Lines: Iface Destination Gateway Flags RefCnt Use Metric Mask ...,
    // the addresses as hexadecimal numbers of their bytes in memory order.
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line); // the heading
    uint32_t best = 0;
    int bestBits = -1;
    unsigned long bestMetric = 0;
    while (std::getline(lines, line)) {
        std::istringstream f(line);
        std::string iface;
        unsigned long dest = 0, gw = 0, flags = 0, refs = 0, use = 0, metric = 0, mask = 0;
        if (!(f >> iface >> std::hex >> dest >> gw >> flags >> std::dec >> refs >> use >> metric >> std::hex >> mask))
            continue;
        if ((flags & 0x1) == 0 || (addr & mask) != dest) // RTF_UP
            continue;
        const int bits = __builtin_popcountl(mask);
        if (bits > bestBits || (bits == bestBits && metric < bestMetric)) {
            best = (flags & 0x2) != 0 ? static_cast<uint32_t>(gw) : 0; // RTF_GATEWAY
            bestBits = bits;
            bestMetric = metric;
        }
    }
    return best;
}

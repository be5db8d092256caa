// TCustomWSocket: Addr, Port and Proto, name lookups and address queries.
#include "wsocket.h"
#include "wsockendpoint.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <sys/socket.h>
#include <system_error>

namespace {

// Host texts are limited to 256 bytes and service/protocol names to 31, as
// the system's name tables are; longer ones are rejected as unknown.
constexpr size_t kMaxHostText = 256;
constexpr size_t kMaxNameText = 31;

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Leading decimal digits, modulo 65536 (16-bit port or protocol field).
int ReadNumber16(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    unsigned value = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i)
        value = (value * 10 + static_cast<unsigned>(s[i] - '0')) & 0xFFFFu;
    return static_cast<int>(value);
}

bool HasNul(const std::string& s)
{
    return s.find('\0') != std::string::npos;
}

std::string Dotted(uint32_t networkOrder)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = networkOrder;
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

} // namespace

uint32_t WSocketResolveHost(const std::string& host)
{
    std::string text = Trim(host);
    auto fail = [&host]() -> uint32_t {
        throw ESocketException("SetAddr: Cannot convert host address '" + host + "'");
    };
    if (text.empty() || text.size() > kMaxHostText || HasNul(text))
        return fail();
    in_addr_t a = ::inet_addr(text.c_str());
    if (a != INADDR_NONE || text == "255.255.255.255")
        return a;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(text.c_str(), nullptr, &hints, &result) != 0 || !result)
        return fail();
    uint32_t address = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(result);
    return address;
}

void TCustomWSocket::SetAddr(const std::string& addr)
{
    if (FAddrAssigned && addr == FAddrStr)
        return;
    FAddrStr = addr;
    if (FState != wsClosed)
        throw ESocketException("Cannot change Addr if not closed");
    FAddrAssigned = false;
    sin.sin_addr.s_addr = WSocketResolveHost(addr);
    FAddrAssigned = true;
}

void TCustomWSocket::SetPort(const std::string& port)
{
    if (FPortAssigned && port == FPortStr)
        return;
    FPortStr = port;
    if (FState != wsClosed)
        throw ESocketException("Cannot change Port if not closed");
    FPortAssigned = true;
    std::string text = Trim(port);
    auto reject = [&](int code) {
        FPortAssigned = false;
        WSASetLastError(code);
        SocketError("SetPort: Cannot convert port '" + port + "'");
    };
    if (text.empty())
        reject(WSAEINVAL);
    if (IsDigit(text[0])) {
        sin.sin_port = htons(static_cast<uint16_t>(ReadNumber16(text)));
    } else {
        std::string proto = Trim(FProtoStr);
        if (text.size() > kMaxNameText || proto.size() > kMaxNameText || HasNul(text) ||
            HasNul(proto))
            reject(WSANO_DATA);
        servent entry{};
        servent* found = nullptr;
        char work[1024];
        ::getservbyname_r(text.c_str(), proto.empty() ? nullptr : proto.c_str(), &entry, work,
                          sizeof work, &found);
        if (!found)
            reject(WSANO_DATA);
        sin.sin_port = static_cast<in_port_t>(found->s_port);
    }
    FPortNum = ntohs(sin.sin_port);
}

void TCustomWSocket::SetProto(const std::string& proto)
{
    if (FProtoAssigned && proto == FProtoStr)
        return;
    FProtoStr = proto;
    if (FState != wsClosed)
        throw ESocketException("Cannot change Proto if not closed");
    std::string text = Trim(proto);
    if (text == "not found")
        return;
    FProtoAssigned = true;
    auto reject = [&](int code) {
        FProtoAssigned = false;
        WSASetLastError(code);
        SocketError("SetProto: Cannot convert protocol '" + proto + "'");
    };
    if (text.empty())
        reject(WSAEINVAL);
    if (IsDigit(text[0])) {
        FProto = ReadNumber16(text);
    } else {
        if (text.size() > kMaxNameText || HasNul(text))
            reject(WSANO_DATA);
        protoent entry{};
        protoent* found = nullptr;
        char work[1024];
        ::getprotobyname_r(text.c_str(), &entry, work, sizeof work, &found);
        if (found)
            FProto = found->p_proto;
        else if (text == "tcp") // a system without /etc/protocols
            FProto = IPPROTO_TCP;
        else if (text == "udp")
            FProto = IPPROTO_UDP;
        else
            reject(WSANO_DATA);
    }
    FType = FProto == IPPROTO_UDP ? 2 : 1;
}

void TCustomWSocket::SetLocalAddr(const std::string& addr)
{
    FLocalAddr = Trim(addr).empty() ? 0 : WSocketResolveHost(addr);
    FLocalAddrStr = addr;
}

void TCustomWSocket::BindSocket()
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = FLocalAddr;
    if (::bind(FHSocket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        throw ESocketException("winsock.bind failed, error #" +
                               std::to_string(WSocketSaveErrno()));
    socklen_t len = sizeof local;
    if (::getsockname(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        throw ESocketException("winsock.getsockname failed, error #" +
                               std::to_string(WSocketSaveErrno()));
    FLocalPort = ntohs(local.sin_port);
}

void TCustomWSocket::DnsLookup(const std::string& hostName)
{
    if (hostName.empty() || hostName.size() > kMaxHostText || HasNul(hostName))
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
        FDnsResult = Dotted(a);
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, 0);
        return;
    }
    try {
        FDnsLookupHandle = FWindowHandle->StartLookup(hostName);
    } catch (const std::system_error& e) {
        throw ESocketException(hostName + ": can't start DNS lookup, error #" +
                               std::to_string(e.code().value()));
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

void TCustomWSocket::WMAsyncGetHostByName(uint32_t request, uint16_t error,
                                          const std::vector<std::string>& addresses)
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
    if (FType == 2)
        return Dotted(sin.sin_addr.s_addr); // a datagram socket sends to sin
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(FHSocket, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
        int code = WSocketSaveErrno();
        // A connection that has just ended (its close notification still on
        // the way) must not be closed here without an event: the owner would
        // never see the departure. Its close notification will follow.
        if (code == WSAENOTCONN || code == WSAECONNRESET)
            return "error";
        SocketError("GetPeerName");
    }
    return Dotted(peer.sin_addr.s_addr);
}

int TCustomWSocket::GetPeerName(sockaddr_in& name, int nameLen)
{
    if (FState != wsConnected)
        return -1;
    socklen_t len = nameLen < 0 ? 0 : static_cast<socklen_t>(nameLen);
    if (len > sizeof name)
        len = sizeof name;
    int rc = ::getpeername(FHSocket, reinterpret_cast<sockaddr*>(&name), &len);
    if (rc != 0)
        WSocketSaveErrno();
    return rc;
}

int TCustomWSocket::GetSockName(sockaddr_in& name, int& nameLen)
{
    socklen_t len = nameLen < 0 ? 0 : static_cast<socklen_t>(nameLen);
    if (len > sizeof name)
        len = sizeof name;
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

#include "ownaddress.h"

#include "ipv4.h"
#include "texts.h"

#include <QtGlobal>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

const char* const TSirSock::kNoAddress = "0.0.0.0";

ECommError::ECommError(const std::string& errorText)
    : Exception(txt::kSockErrorPrefix + errorText), FErrorText(errorText)
{
}

namespace {

bool isLoopback(in_addr_t netOrder)
{
    return (ntohl(netOrder) >> 24) == 127;
}

// First non-loopback IPv4 address of the machine's interfaces that are up.
bool firstInterfaceAddress(in_addr_t& out)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (ifaddrs* i = list; i && !found; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP))
            continue;
        const in_addr_t a = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
        if (!isLoopback(a)) {
            out = a;
            found = true;
        }
    }
    freeifaddrs(list);
    return found;
}

int winsockCode(int err)
{
    switch (err) {
    case EFAULT:
    case ENAMETOOLONG: return 10014;
    case EINVAL: return 10022;
    case EPERM:
    case EACCES: return 10013;
    default: return 10091;
    }
}

} // namespace

TSirSock::TSirSock(QObject* owner) : QObject(owner)
{
    // Nothing to start on POSIX: the socket library is always there, so the
    // ECommError of a failed start-up cannot happen here. The tick timer of
    // a blocking time-out is left out: no operation uses it.
    FindSelf();
}

TSirSock::~TSirSock()
{
    if (FSocket >= 0)
        ::close(FSocket);
}

void TSirSock::FindSelf()
{
    const QByteArray forced = qgetenv("PELMORA_ADDRESS");
    if (!forced.isEmpty())
        FSelfIPAddress = forced.toStdString();

    char name[256] = {}; // a host name is at most 64 bytes on Linux
    if (gethostname(name, sizeof name - 1) != 0) {
        ErrorNumber = winsockCode(errno);
        return;
    }
    FSelfName = name;
    if (!forced.isEmpty())
        return;

    in_addr_t addr = 0;
    const bool found = ipv4::firstAddress(FSelfName, addr);
    in_addr_t own = 0;
    if ((!found || isLoopback(addr)) && firstInterfaceAddress(own))
        addr = own;
    else if (!found) {
        FSelfIPAddress = kNoAddress;
        return;
    }
    FSelfIPAddress = ipv4::dotted(addr);
}

void TSirSock::SetHost(const std::string& value)
{
    if (value != FTargetHost)
        FTargetHost = value;
    // Every write resolves again, also of the same name.
    in_addr_t addr = inet_addr(FTargetHost.c_str());
    if (addr == INADDR_NONE) {
        in_addr_t looked = 0;
        if (ipv4::firstAddress(FTargetHost, looked))
            addr = looked;
    }
    FTargetAddr = addr;
    FTargetIPAddress = ipv4::dotted(addr);
}

void TSirSock::SetService(const std::string& value)
{
    if (value == FTargetService)
        return;
    FTargetService = value;
    if (const servent* s = getservbyname(FTargetService.c_str(), nullptr))
        TargetPort = ntohs(static_cast<std::uint16_t>(s->s_port));
}

std::string TSirSock::ErrorText(int code)
{
    switch (code) {
    case 0: return std::string();
    case 10004: return txt::kSirErr10004;
    case 10009: return txt::kSirErr10009;
    case 10013: return txt::kSirErr10013;
    case 10014: return txt::kSirErr10014;
    case 10022: return txt::kSirErr10022;
    case 10024: return txt::kSirErr10024;
    case 10035: return txt::kSirErr10035;
    case 10036: return txt::kSirErr10036;
    case 10037: return txt::kSirErr10037;
    case 10038: return txt::kSirErr10038;
    case 10039: return txt::kSirErr10039;
    case 10040: return txt::kSirErr10040;
    case 10041: return txt::kSirErr10041;
    case 10042: return txt::kSirErr10042;
    case 10043: return txt::kSirErr10043;
    case 10044: return txt::kSirErr10044;
    case 10045: return txt::kSirErr10045;
    case 10046:
    case 10047: return txt::kSirErr10046;
    case 10049: return txt::kSirErr10049;
    case 10050: return txt::kSirErr10050;
    case 10051: return txt::kSirErr10051;
    case 10052: return txt::kSirErr10052;
    case 10053: return txt::kSirErr10053;
    case 10054: return txt::kSirErr10054;
    case 10055: return txt::kSirErr10055;
    case 10056: return txt::kSirErr10056;
    case 10057: return txt::kSirErr10057;
    case 10058: return txt::kSirErr10058;
    case 10059: return txt::kSirErr10059;
    case 10060: return txt::kSirErr10060;
    case 10061: return txt::kSirErr10061;
    case 10091: return txt::kSirErr10091;
    case 10092: return txt::kSirErr10092;
    case 10093: return txt::kSirErr10093;
    case 10101: return txt::kSirErr10101;
    case 11001: return txt::kSirErr11001;
    case 11002: return txt::kSirErr11002;
    case 11003: return txt::kSirErr11003;
    case 11004: return txt::kSirErr11004;
    default: {
        char num[16];
        std::snprintf(num, sizeof num, "%3d", code);
        return txt::kSirUnknownError + num + "]";
    }
    }
}

template <class F>
void TSirSock::Guarded(F f)
{
    // An exception from a bound handler is reported; the notification
    // itself finishes normally.
    try {
        f();
    } catch (const std::exception& e) {
        qWarning("TSirSock: %s", e.what());
    } catch (...) {
        qWarning("TSirSock: unknown exception in an event handler");
    }
}

void TSirSock::WndProc(unsigned msg, std::uintptr_t wParam, std::uint32_t lParam)
{
    if (msg != WM_SIRSOCK || (lParam >> 16) != 0)
        return;
    const int s = static_cast<int>(wParam);
    switch (lParam & 0xFFFF) {
    case FD_READ: ReceiveHandler(s); break;
    case FD_ACCEPT: AcceptHandler(); break;
    case FD_CONNECT: ConnectHandler(s); break;
    case FD_CLOSE: CloseHandler(s); break;
    default: break;
    }
}

bool TSirSock::TakeDataEvent()
{
    const bool was = FDataEvent;
    FDataEvent = false;
    return was;
}

void TSirSock::ReceiveHandler(int S)
{
    if (onReceive)
        Guarded([&] { onReceive(this, S); });
    else
        FDataEvent = true;
}

void TSirSock::AcceptHandler()
{
    if (FSocket < 0)
        return; // the component's own socket is never opened
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int s = ::accept4(FSocket, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (s < 0)
        return;
    if (onAccept)
        Guarded([&] { onAccept(this, s, ipv4::dotted(peer.sin_addr.s_addr)); });
    else
        ::close(s); // nobody takes it over
}

void TSirSock::ConnectHandler(int S)
{
    if (onConnect)
        Guarded([&] { onConnect(this, S); });
    // Read and close notifications would be asked for here; with no socket
    // of its own opened, there is nothing to watch.
}

void TSirSock::CloseHandler(int S)
{
    if (onClose)
        Guarded([&] { onClose(this, S); });
}

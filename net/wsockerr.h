#pragma once
// Socket error codes and texts. Every failure the socket component reports
// (event Error arguments, LastError, exception texts) carries a Windows
// Sockets code, so that the owners see the same numbers on every platform.
// The system's errno values are mapped onto those codes here, in one place.

#include "exception.h"

#include <cstdint>
#include <string>

// The socket component's exception; its message is the whole report.
class ESocketException : public Exception {
public:
    using Exception::Exception;
};

// Windows Sockets error codes used by the component.
enum : int {
    WSABASEERR = 10000,
    WSAEINTR = 10004,
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETOOMANYREFS = 10059,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAELOOP = 10062,
    WSAENAMETOOLONG = 10063,
    WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065,
    WSAENOTEMPTY = 10066,
    WSAEPROCLIM = 10067,
    WSAEUSERS = 10068,
    WSAEDQUOT = 10069,
    WSAESTALE = 10070,
    WSAEREMOTE = 10071,
    WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092,
    WSANOTINITIALISED = 10093,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// English description of a code; "Not a WinSock error" for any other value.
std::string WSocketErrorDesc(int code);

// errno value -> Windows Sockets code (0 stays 0).
int WSocketErrnoToWsa(int err);
// getaddrinfo() result (EAI_*) -> 11001..11004 (0 stays 0).
int WSocketGaiToWsa(int gaiError);

// The calling thread's last socket error, as Windows Sockets keeps it.
int WSAGetLastError();
void WSASetLastError(int code);
// Store the mapped current errno as the last error and return it.
int WSocketSaveErrno();

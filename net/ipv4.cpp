#include "ipv4.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace ipv4 {

std::string dotted(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

int lookup(const std::string& host, std::vector<uint32_t>& addresses)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0)
        return rc;
    for (addrinfo* ai = result; ai; ai = ai->ai_next)
        addresses.push_back(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(result);
    return 0;
}

bool firstAddress(const std::string& host, uint32_t& address)
{
    std::vector<uint32_t> found;
    if (lookup(host, found) != 0 || found.empty())
        return false;
    address = found.front();
    return true;
}

bool isPublic(uint32_t address)
{
    const uint32_t a = ntohl(address);
    auto in = [a](uint32_t net, int bits) { return (a >> (32 - bits)) == (net >> (32 - bits)); };
    return !(in(0x00000000, 8) ||  // 0/8, "this network"
             in(0x0A000000, 8) ||  // 10/8
             in(0x64400000, 10) || // 100.64/10, shared (CGNAT)
             in(0x7F000000, 8) ||  // 127/8, loopback
             in(0xA9FE0000, 16) || // 169.254/16, link-local
             in(0xAC100000, 12) || // 172.16/12
             in(0xC0A80000, 16) || // 192.168/16
             a >= 0xE0000000);     // multicast and reserved
}

bool isPublic(const std::string& dottedAddress)
{
    in_addr a{};
    return ::inet_pton(AF_INET, dottedAddress.c_str(), &a) == 1 && isPublic(a.s_addr);
}

} // namespace ipv4

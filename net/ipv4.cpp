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

} // namespace ipv4

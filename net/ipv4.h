#pragma once
// IPv4 address helpers shared by the socket component and the own-address
// component: the dotted text of an address and the blocking host lookup.
// Addresses are in network byte order throughout.

#include <cstdint>
#include <string>
#include <vector>

namespace ipv4 {

// "a.b.c.d" of an address.
std::string dotted(uint32_t address);

// Resolve a host name to its IPv4 addresses, in the resolver's order
// (getaddrinfo, blocking). Returns 0 or the getaddrinfo error (EAI_*).
int lookup(const std::string& host, std::vector<uint32_t>& addresses);

// The first IPv4 address of a host name; false when it has none.
bool firstAddress(const std::string& host, uint32_t& address);

} // namespace ipv4

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

// An address that others on the Internet may reach: not in a private,
// loopback, link-local or shared (CGNAT) range (10/8, 172.16/12,
// 192.168/16, 127/8, 169.254/16, 100.64/10), nor 0/8 or multicast and
// above. The documentation ranges (192.0.2/24, 198.51.100/24,
// 203.0.113/24) count as public: they are what test networks use for
// their "Internet".
bool isPublic(uint32_t address);
// The same for dotted text; false for anything that is not an address.
bool isPublic(const std::string& dottedAddress);

} // namespace ipv4

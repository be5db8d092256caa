#pragma once
// A group word without sending it: the word is stretched once into a key by
// a memory-hard function (scrypt), and a member proves it knows the word by
// an HMAC, under that key, of a value both ends of one TLS session export
// from it (TCustomWSocket::TlsExport). A proof recorded on one link, or
// relayed to another, is worth nothing on any other session.
//
//   auto key = groupword::Derive(word);      // ~0.1 s and 32 MiB: off the GUI thread
//   std::string proof = groupword::Proof(*key, socket.TlsExport(...));
//   groupword::Same(proof, received);        // constant time
//
// Only the key is kept once the word has been read; Forget wipes a word's
// bytes from memory.

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace groupword {

using TKey = std::array<unsigned char, 32>;
using TKeyRef = std::shared_ptr<const TKey>;

// The label of the TLS exporter value a proof is made of, and its size.
constexpr std::string_view kExporterLabel = "EXPORTER-pelmora-group-word";
constexpr size_t kExporterBytes = 32;

// The key of a word (null when the word is empty or the KDF failed).
TKeyRef Derive(std::string_view word);

// HMAC-SHA256(key, exported) as 64 lower-case hex digits; empty when
// exported is empty.
std::string Proof(const TKey& key, std::string_view exported);

// a == b, in a time that does not depend on where they differ.
bool Same(std::string_view a, std::string_view b);

// Overwrite the bytes of a word that is no longer needed.
void Forget(std::string& word);

// The first line of a file, without its line end. False when it cannot be
// read (error: the system's reason) or the line is empty (error empty).
bool ReadWordFile(const std::string& path, std::string& word, std::string* error);

} // namespace groupword

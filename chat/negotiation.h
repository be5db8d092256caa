#pragma once
// How two Pelmora instances agree to encrypt a link on the same port, while
// an instance that speaks only the six kinds of line (linebuffer.h) sees
// nothing it would act on: it drops a line whose kind it does not know, and
// nothing else below is ever sent to it.
//
//   negotiation := offer | accept | go                (kind "e", LF-ended)
//   offer  := "e" "offer"  SP version LF   hub -> caller, its very first line
//   accept := "e" "accept" SP version LF   caller -> hub, only after an offer
//   go     := "e" "go"     SP version LF   hub -> caller: TLS follows
//   version := "1" .. "999", no leading zero (this build speaks 1)
//
// Hub: on every accepted connection it sends the offer at once and reads the
// caller's first line, waiting at most kOfferWaitMs for it before it sends
// its admission lines.
//   - The accept, within the wait: it sends go, then only TLS 1.3, as the
//     TLS server; admission happens inside the encrypted link.
//   - Any other line (a name line), or the wait passing in silence: a plain
//     caller, admitted in the clear at once, exactly as without the offer; a
//     line that arrived is read as that caller's first line.
//   - An accept that comes after the wait has passed is a line of unknown
//     kind on a plain link and is dropped as such.
// Caller: it sends nothing until the hub's first line has come, or
// kFirstLineWaitMs have passed.
//   - The offer: it sends the accept (version: the lower of the offered one
//     and its own) and nothing more until the hub's next line. go: it starts
//     TLS 1.3 as the client. Any other line: the hub went plain before the
//     accept arrived (it drops the accept); the link stays plain and that
//     line is read as usual.
//   - Another first line, or silence: a hub that does not negotiate; the
//     link stays plain and the accept is never sent.
// Neither side sends a byte after offer, accept or go before the other's
// answer, so no line reader ever holds TLS bytes it has read too far.
// Inside the encrypted link the hub speaks first: its admission lines, or
// the word line of a hub that asks for one (then the caller's proof, and
// the admission lines once the proof is right). The caller sends its name
// line once the hub's first admission line has come.
// A malformed "e" line is not part of the negotiation: it is a line of
// unknown kind.
//
// Inside the encrypted link only (never sent in the clear, so an instance
// that speaks only the six kinds never sees them):
//   key    := "e" "key"   SP fingerprint LF   hub -> member, after each
//             next-address line: the certificate fingerprint (tlsidentity.h)
//             of the candidate it names; a regroup trusts exactly that key
//   word   := "e" "word"  SP version LF       hub -> caller, right after the
//             handshake: this group needs its word; no admission line comes
//             before the proof
//   proof  := "e" "proof" SP 64 lower-case hex digits LF   caller -> hub: the
//             word's proof, bound to this TLS session (groupword.h)
//   wrong  := "e" "wrong" SP version LF       hub -> caller: the proof was
//             wrong; the hub closes the link after it
//   plain  := "e" "plain" SP name LF          hub -> member: the member of
//             that nick name is linked to the hub in the clear (name: one or
//             more bytes, none of them CR or NUL)

#include <string>
#include <string_view>

namespace negotiation {

constexpr char kKind = 'e';
constexpr int kVersion = 1; // the highest version this build speaks
constexpr int kMaxVersion = 999;
constexpr int kOfferWaitMs = 500;      // hub: how long it waits for the accept
constexpr int kFirstLineWaitMs = 3000; // caller: how long it waits for the hub's first line

enum class TStep { None, Offer, Accept, Go, Key, Word, Proof, Wrong, Plain };

constexpr size_t kProofDigits = 64;

struct TLine {
    TStep step = TStep::None;
    int version = 0;  // offer, accept, go, word, wrong
    std::string text; // key: the fingerprint; proof: the hex digits; plain: the name
    bool operator==(const TLine& o) const { return step == o.step && version == o.version && text == o.text; }
};

// One line as the line buffer hands it (without its LF). Anything that is
// not exactly one of the lines above gives TStep::None.
TLine Parse(std::string_view line);

// The line for a step that carries a version (None and the others give an
// empty string), LF included.
std::string Build(TStep step, int version = kVersion);
// The line for key, proof or plain with its text, LF included; an empty
// string when the text does not fit the step.
std::string Build(TStep step, std::string_view text);

// The version a caller answers an offer of `offered` with (0: none it speaks).
inline int Answer(int offered)
{
    return offered < kVersion ? offered : kVersion;
}

} // namespace negotiation

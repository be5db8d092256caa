#pragma once
// The one place where Shift-JIS (CP932) bytes meet screen text.
//
// Everything inside the program is a std::string of CP932 bytes: wire lines,
// roster names, the log. Text is decoded only to be shown and encoded only
// when it is read from an edit box.

#include <QString>
#include <string>
#include <string_view>

namespace sjis {

// CP932 bytes to screen text. A byte sequence that is not CP932 shows as
// U+FFFD, one per undecodable byte; the bytes themselves are never altered
// by this call, so callers keep the original string for comparisons.
QString decode(std::string_view bytes);

// Screen text to CP932 bytes, as a Japanese Windows edit box would give
// them: characters that CP932 cannot hold become "?", and the JIS code
// points typed by Linux input methods are mapped to their CP932 bytes.
std::string encode(const QString& text);

// The characters of text that CP932 cannot hold (those encode turns into
// "?"), each once, in the order they first appear, as code points: what a
// caller names to the user before anything goes on the wire.
std::u32string unencodable(const QString& text);

// True when b starts a two-byte CP932 character.
constexpr bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

} // namespace sjis

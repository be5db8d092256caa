#include "sjis.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <array>

namespace sjis {
namespace {

// Two-byte CP932 characters: lead 0x81..0x9F, 0xE0..0xFC; trail 0x40..0x7E,
// 0x80..0xFC. The table is filled once from the system's "windows-31j"
// converter, which holds the NEC and IBM rows; 0 marks an unassigned pair.
constexpr int kTrails = 0xFD - 0x40;

int leadIndex(unsigned char lead)
{
    return lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + (0x9F - 0x81 + 1);
}

bool isTrailByte(unsigned char b)
{
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

struct DoubleByteTable {
    std::array<char16_t, 60 * kTrails> toUnicode{};

    DoubleByteTable()
    {
        QStringDecoder decoder("windows-31j");
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isLeadByte(static_cast<unsigned char>(lead)))
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!isTrailByte(static_cast<unsigned char>(trail)))
                    continue;
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                decoder.resetState();
                const QString s = decoder.decode(QByteArrayView(pair, 2));
                if (s.size() == 1 && s.at(0).unicode() != 0x1A && s.at(0) != QChar::ReplacementCharacter)
                    toUnicode[leadIndex(lead) * kTrails + (trail - 0x40)] = s.at(0).unicode();
            }
        }
    }

    char16_t lookup(unsigned char lead, unsigned char trail) const
    {
        return toUnicode[leadIndex(lead) * kTrails + (trail - 0x40)];
    }
};

const DoubleByteTable& table()
{
    static const DoubleByteTable t;
    return t;
}

// Code points that Linux input methods type where Windows types the CP932
// ones; Windows maps them the same way when it encodes.
char16_t windowsForm(char16_t c)
{
    switch (c) {
    case 0x301C: return 0xFF5E; // WAVE DASH -> FULLWIDTH TILDE (81 60)
    case 0x2016: return 0x2225; // DOUBLE VERTICAL LINE -> PARALLEL TO (81 61)
    case 0x2212: return 0xFF0D; // MINUS SIGN -> FULLWIDTH HYPHEN-MINUS (81 7C)
    case 0x00A2: return 0xFFE0; // CENT SIGN (81 91)
    case 0x00A3: return 0xFFE1; // POUND SIGN (81 92)
    case 0x00AC: return 0xFFE2; // NOT SIGN (81 CA)
    case 0x2014: return 0x2015; // EM DASH -> HORIZONTAL BAR (81 5C)
    default: return c;
    }
}

// Append what the converter wrote. It writes 0xFC 0xFC for a character it
// cannot hold. That pair is unassigned in CP932, so every occurrence on a
// character boundary is such a substitute: turn it into "?".
void appendConverted(std::string& out, const QByteArray& raw)
{
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const auto b = static_cast<unsigned char>(raw.at(i));
        if (isLeadByte(b) && i + 1 < raw.size()) {
            const auto trail = static_cast<unsigned char>(raw.at(i + 1));
            if (b == 0xFC && trail == 0xFC)
                out.push_back('?');
            else {
                out.push_back(static_cast<char>(b));
                out.push_back(static_cast<char>(trail));
            }
            ++i;
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
}

} // namespace

QString decode(std::string_view bytes)
{
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    const auto& t = table();
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.append(QChar(b));
        } else if (b >= 0xA1 && b <= 0xDF) {
            out.append(QChar(char16_t(0xFF61 + (b - 0xA1))));
        } else if (isLeadByte(b) && i + 1 < bytes.size() && isTrailByte(static_cast<unsigned char>(bytes[i + 1]))) {
            const char16_t c = t.lookup(b, static_cast<unsigned char>(bytes[i + 1]));
            if (c) {
                out.append(QChar(c));
                ++i;
            } else {
                // An unassigned pair is two characters' worth of unknown.
                out.append(QChar::ReplacementCharacter);
                out.append(QChar::ReplacementCharacter);
                ++i;
            }
        } else {
            // 0x80, 0xA0, 0xFD..0xFF, or a lead byte without a valid trail
            // (also a lone lead byte at the end of the text).
            out.append(QChar::ReplacementCharacter);
        }
    }
    return out;
}

std::string encode(const QString& text)
{
    // Map the JIS forms first; surrogate pairs (emoji and other planes)
    // can never be CP932 and become a single "?".
    QString mapped;
    mapped.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            mapped.append(QLatin1Char('?'));
            ++i;
        } else if (c.isSurrogate()) {
            mapped.append(QLatin1Char('?'));
        } else {
            mapped.append(QChar(windowsForm(c.unicode())));
        }
    }

    // ASCII is the same byte in CP932. The converter does not keep it so:
    // it swaps the controls 0x1A, 0x1C and 0x7F as IBM code pages do; so
    // only runs of other characters go through it.
    QStringEncoder encoder("windows-31j");
    std::string out;
    out.reserve(static_cast<size_t>(mapped.size()) * 2);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= mapped.size(); ++i) {
        const bool ascii = i < mapped.size() && mapped.at(i).unicode() < 0x80;
        if (i < mapped.size() && !ascii)
            continue;
        if (i > runStart)
            appendConverted(out, encoder.encode(QStringView(mapped).mid(runStart, i - runStart)));
        if (ascii)
            out.push_back(static_cast<char>(mapped.at(i).unicode()));
        runStart = i + 1;
    }
    return out;
}

std::u32string unencodable(const QString& text)
{
    std::u32string out;
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x80 || out.find(c) != std::u32string::npos)
            continue;
        const bool lost = c > 0xFFFF || QChar::isSurrogate(c) || encode(QString(QChar(char16_t(c)))) == "?";
        if (lost)
            out.push_back(c);
    }
    return out;
}

} // namespace sjis

// The Shift-JIS boundary: what a Japanese Windows peer sends and expects.
#include "sjis.h"
#include "texts.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include "qtprint.h"

namespace {

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s.push_back(static_cast<char>(b));
    return s;
}

QString u(const char16_t* s)
{
    return QString::fromUtf16(s);
}

TEST(Sjis, EveryFixedTextRoundTrips)
{
    ASSERT_FALSE(txt::all().empty());
    for (const auto& e : txt::all()) {
        SCOPED_TRACE(e.name);
        const QString shown = sjis::decode(*e.sjis);
        EXPECT_EQ(shown, QString::fromUtf8(e.utf8));
        EXPECT_FALSE(shown.contains(QChar::ReplacementCharacter));
        EXPECT_EQ(sjis::encode(shown), *e.sjis);
    }
}

TEST(Sjis, WindowsRowsDecodeAndEncodeBothWays)
{
    // 0x8160 is the full-width tilde and 0x8740 the circled one, not the
    // JIS forms; NEC row 13 and the IBM rows are present.
    EXPECT_EQ(sjis::decode(bytes({0x81, 0x60})), u(u"\uFF5E"));
    EXPECT_EQ(sjis::decode(bytes({0x87, 0x40})), u(u"\u2460"));
    EXPECT_EQ(sjis::encode(u(u"\uFF5E")), bytes({0x81, 0x60}));
    EXPECT_EQ(sjis::encode(u(u"\u2460")), bytes({0x87, 0x40}));
    EXPECT_EQ(sjis::decode(bytes({0xFA, 0x40})), u(u"\u2170")); // small roman one
}

// The system's own converter (iconv's CP932), one text at a time; false
// where it holds no character for the input.
bool systemConvert(const char* to, const char* from, const std::string& in, std::string& out)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string src = in;
    char buf[16];
    char* inp = src.data();
    size_t inLeft = src.size();
    char* outp = buf;
    size_t outLeft = sizeof buf;
    const bool ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    iconv_close(cd);
    out.assign(buf, static_cast<size_t>(outp - buf));
    return ok;
}

// Every assigned two-byte pair (the user-defined rows F0..F9 aside) against
// an independent table: decoded as the system decodes it, and the character
// encoded back as the system encodes it (duplicates of the NEC and IBM rows
// go to the code Windows prefers).
TEST(Sjis, EveryTwoBytePairAgreesWithTheSystemConverter)
{
    int assigned = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if ((lead > 0x9F && lead < 0xE0) || (lead >= 0xF0 && lead <= 0xF9))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string pair = bytes({lead, trail});
            std::string utf8, back;
            if (!systemConvert("UTF-8", "CP932", pair, utf8)) {
                EXPECT_EQ(sjis::decode(pair).count(QChar::ReplacementCharacter), 2) << std::hex << lead << trail;
                continue;
            }
            ++assigned;
            ASSERT_TRUE(systemConvert("CP932", "UTF-8", utf8, back)) << std::hex << lead << trail;
            EXPECT_EQ(sjis::decode(pair), QString::fromStdString(utf8)) << std::hex << lead << " " << trail;
            EXPECT_EQ(sjis::encode(QString::fromStdString(utf8)), back) << std::hex << lead << " " << trail;
        }
    }
    EXPECT_GT(assigned, 7000); // the whole table was there to compare with
}

TEST(Sjis, InputMethodCodePointsEncodeAsWindowsDoes)
{
    struct Case {
        char16_t in;
        int hi, lo;
    };
    const Case cases[] = {
        {0x301C, 0x81, 0x60}, {0x2016, 0x81, 0x61}, {0x2212, 0x81, 0x7C}, {0x00A2, 0x81, 0x91},
        {0x00A3, 0x81, 0x92}, {0x00AC, 0x81, 0xCA}, {0x2014, 0x81, 0x5C},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(sjis::encode(QString(QChar(c.in))), bytes({c.hi, c.lo}));
    }
}

TEST(Sjis, UnencodableCharactersBecomeOneQuestionMarkEach)
{
    // An emoji is a surrogate pair: one "?", never the converter's 0xFC 0xFC.
    EXPECT_EQ(sjis::encode(u(u"a\U0001F600b")), "a?b");
    EXPECT_EQ(sjis::encode(u(u"\u20AC")), "?"); // euro sign
    const QChar lone[] = {QChar(char16_t(0xD800)), QChar(u'x')};
    EXPECT_EQ(sjis::encode(QString(lone, 2)), "?x"); // lone surrogate
    EXPECT_EQ(sjis::encode(u(u"\u3042\u20AC\u3044")), bytes({0x82, 0xA0, '?', 0x82, 0xA2}));
}

TEST(Sjis, AsciiControlsKeepTheirBytesBothWays)
{
    // Found by fuzzing: the converter swapped 0x1A, 0x1C and 0x7F.
    const std::string controls = bytes({0x01, 0x1A, 0x1C, 0x7F, 'a', 0x82, 0xA0, 0x7F});
    EXPECT_EQ(sjis::encode(sjis::decode(controls)), controls);
}

TEST(Sjis, HalfWidthKatakanaIsOneByte)
{
    EXPECT_EQ(sjis::decode(bytes({0xB1, 0xDF, 0xA1})), u(u"\uFF71\uFF9F\uFF61"));
    EXPECT_EQ(sjis::encode(u(u"\uFF7F\uFF79\uFF6F\uFF84")), bytes({0xBF, 0xB9, 0xAF, 0xC4}));
}

TEST(Sjis, UndecodableBytesShowAsReplacementAndLeaveTheRestIntact)
{
    // A lone lead byte at the end of a text.
    EXPECT_EQ(sjis::decode(bytes({'a', 'b', 0x82})), u(u"ab\uFFFD"));
    // A lead byte followed by a byte that cannot trail: the second byte is
    // still read as itself.
    EXPECT_EQ(sjis::decode(bytes({0x82, 0x20, 'x'})), u(u"\uFFFD x"));
    // Bytes that are never characters.
    EXPECT_EQ(sjis::decode(bytes({0x80, 0xA0, 0xFD, 0xFF})), u(u"\uFFFD\uFFFD\uFFFD\uFFFD"));
    // An unassigned pair.
    EXPECT_EQ(sjis::decode(bytes({0x85, 0x40, 'z'})), u(u"\uFFFD\uFFFDz"));
    // The ASCII range, backslash and tilde included, is itself.
    EXPECT_EQ(sjis::decode("\\~\r\n"), QStringLiteral("\\~\r\n"));
    EXPECT_EQ(sjis::encode(QStringLiteral("\\~")), "\\~");
}

TEST(Sjis, NulBytesAndEmptyTexts)
{
    EXPECT_EQ(sjis::decode(""), QString());
    EXPECT_EQ(sjis::encode(QString()), "");
    EXPECT_EQ(sjis::decode(std::string("a\0b", 3)).size(), 3);
}

} // namespace

// What the input box and the console member refuse to send: exactly the
// characters encode would turn into "?", each named once.
TEST(Sjis, UnencodableNamesWhatWouldBecomeAQuestionMark)
{
    EXPECT_EQ(sjis::unencodable(QString::fromUtf8("絵文字🙂です🙂 鷗 𠮷野家")), U"🙂鷗𠮷");
    EXPECT_EQ(sjis::unencodable(QString::fromUtf8("①〜−—¢£¬‖ ｶﾅ ? abc")), U"");
}

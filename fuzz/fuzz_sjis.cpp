// The CP932 codec both ways: any bytes decode without a crash to at most one
// character per byte; text decoded from valid bytes comes back unchanged
// through encode and decode; any UTF-16 text encodes to valid CP932.
#include "sjis.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const QString text = sjis::decode(bytes);
    check(static_cast<size_t>(text.size()) <= size);
    if (!text.contains(QChar::ReplacementCharacter))
        check(sjis::decode(sjis::encode(text)) == text);

    const QString any(reinterpret_cast<const QChar*>(data), static_cast<qsizetype>(size / 2));
    const std::string encoded = sjis::encode(any);
    check(!sjis::decode(encoded).contains(QChar::ReplacementCharacter));
    return 0;
}

#include "timeofday.h"

#include <QDateTime>

std::string TimePrefix(qint64 msecs)
{
    // Lines come in floods within one minute: convert once per minute.
    static qint64 cachedMinute = -1;
    static std::string cached;
    const qint64 minute = msecs / 60000;
    if (minute != cachedMinute) {
        cached = QDateTime::fromMSecsSinceEpoch(minute * 60000).toString(QStringLiteral("[HH:mm] ")).toStdString();
        cachedMinute = minute;
    }
    return cached;
}

QString TimeTip(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

qint64 TTimedLog::writeData(const char* data, qint64 len)
{
    QByteArray chunk;
    chunk.reserve(static_cast<qsizetype>(len) + 64 * kTimePrefixLength);
    for (qint64 i = 0; i < len; ++i) {
        if (FLineStart) {
            while (FNext < FMinutes.size() && FMinutes[FNext].first <= FLine)
                FPrefix = TimePrefix(FMinutes[FNext++].second);
            chunk.append(FPrefix.data(), static_cast<qsizetype>(FPrefix.size()));
            FLineStart = false;
        }
        const char b = data[i];
        chunk.append(b);
        if (FAfterCR && b == '\n') {
            FLineStart = true;
            ++FLine;
        }
        FAfterCR = b == '\r';
    }
    return FOut.write(chunk) == chunk.size() ? len : -1;
}

#include "autolog.h"

#include "logfile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

TAutoLog::TAutoLog(const QString& folder, QObject* parent) : QObject(parent), FFolder(folder)
{
    FTurn.setSingleShot(true);
    connect(&FTurn, &QTimer::timeout, this, &TAutoLog::Flush);
}

TAutoLog::~TAutoLog()
{
    Flush();
    if (FFd >= 0)
        ::close(FFd);
}

QString TAutoLog::FileName(const QDate& day)
{
    return day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

void TAutoLog::Append(std::string_view line, const QDate& day)
{
    if (day != FDay) {
        Flush();
        FDay = day;
    }
    FBuffer.append(line.data(), static_cast<qsizetype>(line.size()));
    FBuffer.append("\r\n", 2);
    if (!FTurn.isActive())
        FTurn.start(0);
}

void TAutoLog::Flush()
{
    FTurn.stop();
    if (FBuffer.isEmpty())
        return;
    if (FFd >= 0 && FOpenDay != FDay) {
        ::close(FFd);
        FFd = -1;
    }
    errno = 0;
    if (FFd < 0 && QDir().mkpath(FFolder)) {
        const QByteArray path = QFile::encodeName(FFolder + QLatin1Char('/') + FileName(FDay));
        do {
            FFd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        } while (FFd < 0 && errno == EINTR);
        FOpenDay = FDay;
    }
    int err = FFd < 0 ? (errno ? errno : EACCES) : 0;
    const char* data = FBuffer.constData();
    qint64 left = FBuffer.size();
    while (!err && left > 0) {
        const ssize_t n = ::write(FFd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : ENOSPC;
            break;
        }
        data += n;
        left -= n;
    }
    FBuffer.resize(0);
    say(err ? FileErrorText(err) : std::string());
}

void TAutoLog::say(const std::string& reason)
{
    if (reason == FTrouble)
        return;
    FTrouble = reason;
    emit Trouble(reason);
}

#include "spoolrecovery.h"

#include "logfile.h"
#include "logspool.h"
#include "sjis.h"
#include "texts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string shown(const QString& path)
{
    return sjis::encode(QDir::toNativeSeparators(path));
}

// A free name in folder for the log of a run begun at startMs.
QString logPath(const QString& folder, qint64 startMs)
{
    const QString name = RecoveredLogName(startMs);
    QString path = folder + QLatin1Char('/') + name;
    for (int n = 2; QFile::exists(path); ++n)
        path = folder + QLatin1Char('/') + name.chopped(4) + QStringLiteral("-%1.log").arg(n);
    return path;
}

// Copies the spool behind fd into a new log; the error number, 0 when it
// worked.
int copyToLog(int fd, const QString& path)
{
    QSaveFile out(path);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly))
        return errno ? errno : EIO;
    // The conversation was the user's alone in the spool; so it stays.
    out.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QByteArray chunk(256 * 1024, Qt::Uninitialized);
    char last = '\n';
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), static_cast<size_t>(chunk.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        last = chunk.at(static_cast<qsizetype>(n - 1));
        if (out.write(chunk.constData(), n) != n)
            return errno ? errno : EIO;
    }
    // A spool cut short in a line still ends its last line.
    if (last != '\n' && out.write("\r\n", 2) != 2)
        return errno ? errno : EIO;
    if (!out.commit())
        return errno ? errno : EIO;
    return 0;
}

} // namespace

QString RecoveredLogName(qint64 startMs)
{
    return QDateTime::fromMSecsSinceEpoch(startMs).toString(QStringLiteral("yyyy-MM-dd_HHmmss")) +
        QStringLiteral(".log");
}

TRecovery RecoverSpools(const QStringList& spoolFolders, const QString& exeName, const QString& logFolder)
{
    TRecovery r;
    for (const QString& folder : spoolFolders) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files | QDir::System, QDir::Name)) {
            qint64 startMs = 0;
            if (!TLogSpool::IsSpoolOf(name, exeName, &startMs))
                continue;
            const QString path = dir.filePath(name);
            const QByteArray bytes = QFile::encodeName(path);
            const int fd = ::open(bytes.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
            struct stat st { };
            if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid() ||
                (st.st_mode & 0777) != 0600) {
                if (fd >= 0)
                    ::close(fd);
                r.Notes.push_back(txt::kSpoolNotRead + shown(path));
                continue;
            }
            // A live instance holds its spool's lock for as long as it runs;
            // the lock is kept while the log is written.
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd);
                continue;
            }
            if (st.st_size == 0) {
                ::unlink(bytes.constData());
                ::close(fd);
                continue;
            }
            if (startMs == 0)
                startMs = qint64(st.st_mtime) * 1000;
            int err = 0;
            if (!QDir().mkpath(logFolder))
                err = errno ? errno : EACCES;
            const QString log = err ? QString() : logPath(logFolder, startMs);
            if (!err)
                err = copyToLog(fd, log);
            if (err) {
                r.Notes.push_back(txt::kRecoverFailed + FileErrorText(err) + "\r\n" + shown(path));
            } else {
                ::unlink(bytes.constData());
                r.Saved << log;
            }
            ::close(fd);
        }
    }
    return r;
}

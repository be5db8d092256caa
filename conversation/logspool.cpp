#include "logspool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes gathered before they go to the file.
constexpr qsizetype kSpillAt = 64 * 1024;

int openRetrying(const QByteArray& path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(path.constData(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool lockFree(int fd)
{
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc < 0 && errno == EINTR);
    return rc == 0;
}

bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

QString exeName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

} // namespace

QString TLogSpool::DefaultFolder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    return base + QStringLiteral("/pelmora");
}

TLogSpool::TLogSpool(const QString& folder) : FSpillAt(kSpillAt)
{
    const QString dir = folder.isEmpty() ? DefaultFolder() : folder;
    if (QDir().mkpath(dir))
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    RemoveStale(dir, exeName());
    open(dir);
}

TLogSpool::~TLogSpool()
{
    if (FFd >= 0) {
        ::unlink(QFile::encodeName(FPath).constData());
        ::close(FFd);
    }
}

void TLogSpool::open(const QString& dir)
{
    // Made under a name the sweep ignores and renamed once locked, so no
    // other instance's sweep can take a fresh spool for a stale one.
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("%1-%2-%3.spool").arg(exeName()).arg(::getpid()).arg(++serial);
    const QString path = dir + QLatin1Char('/') + name;
    const QByteArray fresh = QFile::encodeName(dir + QStringLiteral("/.") + name + QStringLiteral(".new"));
    const int fd = openRetrying(fresh, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    if (!lockFree(fd) || ::rename(fresh.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(fresh.constData());
        ::close(fd);
        return;
    }
    FFd = fd;
    FPath = path;
}

void TLogSpool::RemoveStale(const QString& folder, const QString& exe)
{
    const QDir dir(folder);
    const QStringList names = dir.entryList({exe + QStringLiteral("-*.spool")}, QDir::Files | QDir::Hidden);
    for (const QString& n : names) {
        const QByteArray path = QFile::encodeName(dir.filePath(n));
        const int fd = openRetrying(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        // A live instance holds its spool's lock for as long as it runs.
        if (lockFree(fd))
            ::unlink(path.constData());
        ::close(fd);
    }
}

void TLogSpool::Append(std::string_view line)
{
    FBuffer.append(line.data(), static_cast<qsizetype>(line.size()));
    FBuffer.append("\r\n", 2);
    if (FBuffer.size() >= FSpillAt)
        Flush();
}

void TLogSpool::Flush()
{
    if (FFd < 0 || FBuffer.isEmpty())
        return;
    if (::lseek(FFd, FWritten, SEEK_SET) != FWritten || !writeAll(FFd, FBuffer.constData(), FBuffer.size())) {
        // Disk full or the like: keep the bytes, and try again only when
        // twice as many are waiting, not at every line.
        FSpillAt = FBuffer.size() * 2;
        return;
    }
    FWritten += FBuffer.size();
    FBuffer.resize(0); // keeps its room for the next lines
    if (FBuffer.capacity() > 4 * kSpillAt)
        FBuffer.squeeze();
    FSpillAt = kSpillAt;
}

bool TLogSpool::CopyTo(QIODevice& out, const TProgress& progress)
{
    Flush();
    // What is copied is fixed now: the file up to here, and what a failing
    // disk left buffered (shared, so later appends do not reach this copy).
    const qint64 end = FWritten;
    const QByteArray tail = FBuffer;
    const qint64 total = end + tail.size();
    QByteArray chunk(256 * 1024, Qt::Uninitialized);
    for (qint64 at = 0; at < end;) {
        const ssize_t n = ::pread(FFd, chunk.data(), static_cast<size_t>(qMin<qint64>(chunk.size(), end - at)), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || out.write(chunk.constData(), n) != n)
            return false;
        at += n;
        if (progress && !progress(at, total))
            return false;
    }
    return out.write(tail) == tail.size();
}

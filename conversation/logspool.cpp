#include "logspool.h"

#include "logfile.h"
#include "texts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <cstring>
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

bool writeAll(int fd, const char* data, qint64 size, qint64 at)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, static_cast<size_t>(size), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
        at += n;
    }
    return true;
}

QString exeName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

// A folder of our own that nobody else can read: made when missing, and
// refused when it is someone else's or not a folder (a link planted in the
// shared temporary folder, say).
bool privateFolder(const QString& dir)
{
    errno = 0;
    const int made = QDir().mkpath(dir) ? 0 : errno; // why it could not be made
    const QByteArray path = QFile::encodeName(dir);
    struct stat st { };
    if (::lstat(path.constData(), &st) != 0) {
        if (made)
            errno = made;
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        errno = EACCES;
        return false;
    }
    return (st.st_mode & 0777) == 0700 || ::chmod(path.constData(), 0700) == 0;
}

} // namespace

QStringList TLogSpool::DefaultFolders()
{
    QStringList folders;
    for (const auto where : {QStandardPaths::GenericCacheLocation, QStandardPaths::RuntimeLocation}) {
        const QString base = QStandardPaths::writableLocation(where);
        if (!base.isEmpty())
            folders << base + QStringLiteral("/pelmora");
    }
    folders << QDir::tempPath() + QStringLiteral("/pelmora-%1").arg(::getuid());
    folders.removeDuplicates();
    return folders;
}

QString TLogSpool::FileName(const QString& exe, qint64 startMs, qint64 pid, int serial)
{
    return QStringLiteral("%1-%2-%3-%4.spool").arg(exe).arg(startMs).arg(pid).arg(serial);
}

bool TLogSpool::IsSpoolOf(const QString& name, const QString& exe, qint64* startMs)
{
    // Only digits follow the executable's name, so "pelmora" never takes
    // the spools of a copy named "pelmora-2". A spool of an earlier version
    // ("exe-pid-serial") has no start time: 0.
    static const QRegularExpression tail(QStringLiteral("^-(\\d+)-(\\d+)(-(\\d+))?\\.spool$"));
    if (!name.startsWith(exe))
        return false;
    const QRegularExpressionMatch m = tail.match(QStringView(name).mid(exe.size()));
    if (!m.hasMatch())
        return false;
    if (startMs)
        *startMs = m.capturedLength(4) > 0 ? m.captured(1).toLongLong() : 0;
    return true;
}

std::string TLogSpool::MissingMark(qint64 lines)
{
    return QByteArray::fromStdString(txt::kLinesMissingMark).replace("%1", QByteArray::number(lines)).toStdString();
}

TLogSpool::TLogSpool(const QStringList& folders)
    : FFolders(folders.isEmpty() ? DefaultFolders() : folders), FStartMs(QDateTime::currentMSecsSinceEpoch())
{
    for (const QString& f : FFolders)
        if (open(f))
            break;
}

TLogSpool::~TLogSpool()
{
    if (FFd >= 0) {
        ::unlink(QFile::encodeName(FPath).constData());
        ::close(FFd);
    }
}

bool TLogSpool::open(const QString& dir)
{
    if (!privateFolder(dir)) {
        FOpenError = errno;
        return false;
    }
    // Made under a name the recovery ignores and renamed once locked, so no
    // other instance can take a fresh spool for a stale one.
    static std::atomic<int> serial{0};
    const QString name = FileName(exeName(), FStartMs, ::getpid(), ++serial);
    const QString path = dir + QLatin1Char('/') + name;
    const QByteArray fresh = QFile::encodeName(dir + QStringLiteral("/.") + name + QStringLiteral(".new"));
    const int fd = openRetrying(fresh, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        FOpenError = errno;
        return false;
    }
    if (!lockFree(fd) || ::rename(fresh.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(fresh.constData());
        ::close(fd);
        return false;
    }
    FFd = fd;
    FPath = path;
    return true;
}

void TLogSpool::Append(std::string_view line)
{
    FBuffer.append(line.data(), static_cast<qsizetype>(line.size()));
    FBuffer.append("\r\n", 2);
    if (!FTrouble.empty()) {
        if (FBuffer.size() > MemoryLimit)
            dropOldest();
    } else if (FBuffer.size() >= kSpillAt) {
        Flush();
    }
}

// Cuts the oldest whole lines from memory, down to three quarters of the
// limit at once, so a flood does not move the buffer at every line. The
// rest moves to the front of the same block: removing from the front would
// only move the start, and the next appends would grow a new, larger block.
void TLogSpool::dropOldest()
{
    const qsizetype excess = FBuffer.size() - MemoryLimit * 3 / 4;
    qsizetype cut = FBuffer.indexOf("\r\n", qMax<qsizetype>(0, excess - 2));
    cut = cut < 0 ? FBuffer.size() : cut + 2;
    char* data = FBuffer.data();
    for (const char* p = data;
         (p = static_cast<const char*>(::memmem(p, static_cast<size_t>(data + cut - p), "\r\n", 2))); p += 2)
        ++FDropped;
    std::memmove(data, data + cut, static_cast<size_t>(FBuffer.size() - cut));
    FBuffer.truncate(FBuffer.size() - cut);
}

// The marker for dropped lines, then the buffer, at offset at of fd.
bool TLogSpool::writeOut(int fd, qint64 at)
{
    if (FDropped > 0) {
        const std::string mark = MissingMark(FDropped) + "\r\n";
        if (!writeAll(fd, mark.data(), static_cast<qint64>(mark.size()), at))
            return false;
        at += static_cast<qint64>(mark.size());
    }
    if (!writeAll(fd, FBuffer.constData(), FBuffer.size(), at))
        return false;
    FWritten = at + FBuffer.size();
    FDropped = 0;
    FBuffer.resize(0); // keeps its room for the next lines
    if (FBuffer.capacity() > 4 * kSpillAt)
        FBuffer.squeeze();
    return true;
}

void TLogSpool::Flush()
{
    if (FBuffer.isEmpty() && FDropped == 0)
        return;
    if (!FTrouble.empty() && FSinceTry.isValid() && FSinceTry.elapsed() < RetryMs)
        return;
    if (!(FFd >= 0 && writeOut(FFd, FWritten))) {
        const int err = FFd >= 0 ? errno : FOpenError;
        // What a failed write left beyond the good part only takes room.
        if (FFd >= 0) {
            [[maybe_unused]] const int rc = ::ftruncate(FFd, FWritten);
        }
        if (!relocate()) {
            failed(err);
            return;
        }
    }
    if (!FTrouble.empty()) {
        FTrouble.clear();
        if (OnTrouble)
            OnTrouble(FTrouble);
    }
}

// Moves the spool, what the file holds and what waits in memory, to the
// first other folder that takes all of it.
bool TLogSpool::relocate()
{
    const int oldFd = FFd;
    const QString oldPath = FPath;
    const qint64 oldWritten = FWritten;
    const QString oldFolder = QFileInfo(oldPath).absolutePath();
    QByteArray chunk;
    for (const QString& folder : FFolders) {
        if (oldFd >= 0 && QFileInfo(folder).absoluteFilePath() == oldFolder)
            continue;
        FFd = -1;
        if (!open(folder))
            continue;
        bool ok = true;
        chunk.resize(256 * 1024);
        for (qint64 at = 0; ok && at < oldWritten;) {
            const ssize_t n =
                ::pread(oldFd, chunk.data(), static_cast<size_t>(qMin<qint64>(chunk.size(), oldWritten - at)), at);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0 && writeAll(FFd, chunk.constData(), n, at);
            at += n;
        }
        if (ok && writeOut(FFd, oldWritten)) {
            if (oldFd >= 0) {
                ::unlink(QFile::encodeName(oldPath).constData());
                ::close(oldFd);
            }
            return true;
        }
        ::unlink(QFile::encodeName(FPath).constData());
        ::close(FFd);
    }
    FFd = oldFd;
    FPath = oldPath;
    FWritten = oldWritten;
    return false;
}

void TLogSpool::failed(int err)
{
    FSinceTry.start();
    if (FBuffer.size() > MemoryLimit)
        dropOldest();
    if (!FTrouble.empty())
        return;
    // One block for the whole bound, taken once (its pages only as used).
    FBuffer.reserve(static_cast<qsizetype>(MemoryLimit) + kSpillAt);
    FTrouble = FileErrorText(err);
    if (OnTrouble)
        OnTrouble(FTrouble);
}

bool TLogSpool::CopyTo(QIODevice& out, const TProgress& progress)
{
    Flush();
    // What is copied is fixed now: the file up to here, the marker for lines
    // dropped since, and what waits in memory (shared, so later appends do
    // not reach this copy).
    const qint64 end = FWritten;
    const QByteArray mark = FDropped > 0 ? QByteArray::fromStdString(MissingMark(FDropped) + "\r\n") : QByteArray();
    const QByteArray tail = FBuffer;
    const qint64 total = end + mark.size() + tail.size();
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
    return out.write(mark) == mark.size() && out.write(tail) == tail.size();
}

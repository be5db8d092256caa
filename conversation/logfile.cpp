#include "logfile.h"

#include "exception.h"
#include "sjis.h"
#include "texts.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

QString LogFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/pelmora/logs");
}

std::string FileErrorText(int errnum)
{
    switch (errnum) {
    case ENOSPC: return txt::kErrNoSpace;
    case EDQUOT: return txt::kErrQuota;
    case EACCES:
    case EPERM: return txt::kErrNoPermission;
    case EROFS: return txt::kErrReadOnly;
    case ENOENT:
    case ENOTDIR: return txt::kErrNoFolder;
    case EFBIG: return txt::kErrTooLarge;
    case EIO: return txt::kErrIo;
    default: return QByteArray::fromStdString(txt::kErrOther).replace("%1", QByteArray::number(errnum)).toStdString();
    }
}

QString TLogSaver::FileName(const QDateTime& when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral("%1%2%3%4.log").arg(d.month()).arg(d.day()).arg(t.hour()).arg(t.minute());
}

QString TLogSaver::Save(const std::vector<std::string>& lines, const QDateTime& when, const QString& folder)
{
    return Save(
        [&lines](QIODevice& out) {
            for (const auto& l : lines)
                if (out.write(l.data(), static_cast<qint64>(l.size())) != static_cast<qint64>(l.size()) ||
                    out.write("\r\n", 2) != 2)
                    return false;
            return true;
        },
        when, folder);
}

QString TLogSaver::Save(const std::function<bool(QIODevice&)>& write, const QDateTime& when, const QString& folder)
{
    const QDateTime minute(when.date(), QTime(when.time().hour(), when.time().minute()));
    const QString name = FileName(when);
    QString path = QDir(folder).filePath(name);

    // This saver's file of the same minute, wherever it went, is replaced.
    const bool ownFile = FLastMinute == minute && FLastFolder == QDir(folder).absolutePath();
    if (ownFile) {
        path = FLastPath;
    } else if (QFileInfo::exists(path)) {
        const QString stem = name.chopped(4);
        for (int n = 2;; ++n) {
            path = QDir(folder).filePath(QStringLiteral("%1-%2.log").arg(stem).arg(n));
            if (!QFileInfo::exists(path))
                break;
        }
    }

    // The reason is the error number of the call that failed; Qt's own text
    // is the fallback where none is left.
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly) || !write(file) || !file.commit()) {
        const int err = errno;
        const std::string reason = err ? FileErrorText(err) : sjis::encode(file.errorString());
        file.cancelWriting();
        throw Exception(txt::kLogNotSaved + "\r\n" +
                        sjis::encode(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())) + "\r\n" + reason);
    }

    FLastPath = path;
    FLastFolder = QDir(folder).absolutePath();
    FLastMinute = minute;
    return path;
}

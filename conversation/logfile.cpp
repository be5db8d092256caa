#include "logfile.h"

#include "exception.h"
#include "sjis.h"
#include "texts.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

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

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !write(file) || !file.commit())
        throw Exception(txt::kLogNotSaved + "\r\n" + sjis::encode(QDir::toNativeSeparators(path)));

    FLastPath = path;
    FLastFolder = QDir(folder).absolutePath();
    FLastMinute = minute;
    return path;
}

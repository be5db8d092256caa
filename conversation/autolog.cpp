#include "autolog.h"

#include "logfile.h"

#include <QFile>

TAutoLog::TAutoLog(const QString& folder, QObject* parent)
    : QObject(parent), FFolderName(folder), FLog(QFile::encodeName(folder).toStdString(), 0600, 0, [this](int err) {
        emit Trouble(err ? FileErrorText(err) : std::string());
    })
{
    FTurn.setSingleShot(true);
    connect(&FTurn, &QTimer::timeout, this, &TAutoLog::Flush);
}

void TAutoLog::Append(std::string_view line, qint64 msSinceEpoch)
{
    FLog.Add(line, static_cast<std::time_t>(msSinceEpoch / 1000));
    if (!FTurn.isActive())
        FTurn.start(0);
}

void TAutoLog::Flush()
{
    FTurn.stop();
    FLog.Flush();
}

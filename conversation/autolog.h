#pragma once
// The automatic log (設定 → 会話を自動で保存): every line of the conversation,
// as it comes, appended to one file per day in the log folder
// ("2026-12-08.log", the same CP932 CR LF bytes as a saved log; the writing
// is TDailyLog's). Lines gather for the current turn of the event loop and
// are written at its end (a zero-time timer, armed only while lines wait),
// so a crash or a power cut loses at most the last turn. A failure is said
// once (Trouble with the reason) and the lines of that turn are left to the
// spool and the saved log; the next line tries again, and Trouble with an
// empty reason says it works.

#include "dailylog.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <string>
#include <string_view>

class TAutoLog : public QObject {
    Q_OBJECT
public:
    explicit TAutoLog(const QString& folder, QObject* parent = nullptr);

    // One line (without its CR LF) that arrived at msSinceEpoch.
    void Append(std::string_view line, qint64 msSinceEpoch);
    void Flush();

    QString Folder() const { return FFolderName; }

signals:
    void Trouble(const std::string& reason);

private:
    QString FFolderName;
    TDailyLog FLog;
    QTimer FTurn{this};
};

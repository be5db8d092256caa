#pragma once
// The time of day of a pane line, from its arrival time in milliseconds
// since the epoch: the "[HH:MM] " prefix (ASCII, so also CP932) and the
// tooltip text, both in local time; and the log with those prefixes.

#include <QIODevice>
#include <QString>
#include <QtGlobal>

#include <string>
#include <utility>
#include <vector>

std::string TimePrefix(qint64 msecs);
constexpr int kTimePrefixLength = 8;
QString TimeTip(qint64 msecs);

// A device that passes a log (lines ended by CR LF; no line holds a CR LF)
// on to out with each line's "[HH:MM] " before it. minutes lists (line
// number, arrival) at each line whose minute differs from the one before.
class TTimedLog : public QIODevice {
public:
    TTimedLog(QIODevice& out, const std::vector<std::pair<qint64, qint64>>& minutes) : FOut(out), FMinutes(minutes) { }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override;

private:
    QIODevice& FOut;
    const std::vector<std::pair<qint64, qint64>>& FMinutes;
    size_t FNext = 0;
    qint64 FLine = 0;
    bool FLineStart = true;
    bool FAfterCR = false;
    std::string FPrefix;
};

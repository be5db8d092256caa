#include "conversation.h"

#include "sjis.h"
#include "timeofday.h"

#include <QDateTime>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace {

// Lines decoded and inserted between two looks at the clock.
constexpr size_t kChunk = 64;

} // namespace

TConversation::TConversation(QPlainTextEdit* pane, QObject* parent, const QStringList& spoolFolders)
    : QObject(parent), FPane(pane), FSpool(spoolFolders)
{
    FSpool.OnTrouble = [this](const std::string& reason) { emit SpoolTrouble(reason); };
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, [this] { Update(); });
}

void TConversation::SetScrollback(int lines)
{
    FScrollback = std::clamp(lines, 1, kMaxScrollback);
    while (FQueue.size() > static_cast<size_t>(FScrollback))
        FQueue.pop_front();
}

void TConversation::Add(const TChatEvent& event)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    ForEachDisplayLine(event, [this, now](std::string_view line) { queue(line, now); });
    if (!FUnsaved) {
        FUnsaved = true;
        emit UnsavedChanged(true);
    }
    FArrived = true;
    if (!FTimer.isActive()) {
        // The first line after a quiet spell goes out in the next turn.
        const qint64 since = FSinceUpdate.isValid() ? FSinceUpdate.elapsed() : FGapMs;
        FTimer.start(static_cast<int>(std::max<qint64>(0, FGapMs - since)));
    }
}

void TConversation::SetAutoLog(const QString& folder)
{
    if (FAutoLog && FAutoLog->Folder() == folder)
        return;
    FAutoLog.reset();
    if (folder.isEmpty())
        return;
    FAutoLog = std::make_unique<TAutoLog>(folder);
    connect(FAutoLog.get(), &TAutoLog::Trouble, this, &TConversation::AutoLogTrouble);
}

void TConversation::MarkSaved(qint64 lines)
{
    if (!FUnsaved || lines != FSpooled)
        return;
    FUnsaved = false;
    emit UnsavedChanged(false);
}

void TConversation::queue(std::string_view line, qint64 now)
{
    FSpool.Append(line);
    if (FAutoLog) {
        if (FShowTimes)
            FAutoLog->Append(TimePrefix(now) + std::string(line), now);
        else
            FAutoLog->Append(line, now);
    }
    if (FMinutes.empty() || FMinutes.back().second / 60000 != now / 60000)
        FMinutes.emplace_back(FSpooled, now);
    ++FSpooled;
    // A line that the limit would trim before it is shown is never decoded.
    if (FQueue.size() >= static_cast<size_t>(FScrollback))
        FQueue.pop_front();
    FQueue.push_back({std::string(line), now});
}

void TConversation::Update()
{
    const bool arriving = FArrived;
    FArrived = false;
    // What the pane is about to show is on disk first.
    FSpool.Flush();
    if (FAutoLog)
        FAutoLog->Flush();
    QElapsedTimer spent;
    spent.start();
    const qint64 budget = arriving ? kUpdateBudgetNs : kCatchUpBudgetNs;
    bool inserted = false;
    while (!FQueue.empty()) {
        insert(std::min(kChunk, FQueue.size()));
        inserted = true;
        if (spent.nsecsElapsed() >= budget)
            break;
    }
    if (inserted)
        FPane->viewport()->repaint();
    FGapMs = arriving ? static_cast<int>(std::clamp<qint64>(spent.nsecsElapsed() * kPaneShare / 1'000'000, kUpdateGapMs,
                                                            kMaxUpdateGapMs))
                      : kUpdateGapMs;
    FSinceUpdate.start();
    if (!FQueue.empty())
        FTimer.start(arriving ? FGapMs : 0);
}

void TConversation::Flush()
{
    FTimer.stop();
    FSpool.Flush();
    if (FAutoLog)
        FAutoLog->Flush();
    if (!FQueue.empty())
        insert(FQueue.size());
    FSinceUpdate.start();
}

void TConversation::insert(size_t count)
{
    QString text;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            text += QLatin1Char('\n');
        if (FShowTimes)
            text += QString::fromLatin1(TimePrefix(FQueue[i].Arrived));
        const std::string& bytes = FQueue[i].Bytes;
        if (bytes.find_first_of("\r\n") == std::string::npos) {
            text += sjis::decode(bytes);
        } else {
            // A lone CR or LF inside a line would split its block and put
            // the pane out of step with the lines; it shows as a space.
            QString line = sjis::decode(bytes);
            line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
            text += line;
        }
        FShown.push_back(FQueue[i].Arrived);
    }
    FQueue.erase(FQueue.begin(), FQueue.begin() + static_cast<std::ptrdiff_t>(count));

    // The front is cut first, in an edit of its own: the layout then hears
    // of the removed characters alone and never lays the removed blocks out
    // (one edit for both would report a change spanning the whole pane).
    // The queue never holds more than the limit, so only lines already
    // shown are cut.
    QTextDocument* doc = FPane->document();
    const size_t before = FShown.size() - count;
    const size_t trim = FShown.size() > static_cast<size_t>(FScrollback) ? FShown.size() - FScrollback : 0;
    QTextCursor c(doc);
    if (trim > 0) {
        if (trim < before)
            c.setPosition(doc->findBlockByNumber(static_cast<int>(trim)).position(), QTextCursor::KeepAnchor);
        else
            c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    }
    c.movePosition(QTextCursor::End);
    c.beginEditBlock();
    if (before > trim)
        c.insertBlock();
    c.insertText(text);
    c.endEditBlock();
    FShown.erase(FShown.begin(), FShown.begin() + static_cast<std::ptrdiff_t>(trim));

    QScrollBar* bar = FPane->verticalScrollBar();
    bar->setValue(bar->maximum());
}

qint64 TConversation::ArrivedAt(int block) const
{
    return block >= 0 && static_cast<size_t>(block) < FShown.size() ? FShown[static_cast<size_t>(block)] : -1;
}

void TConversation::SetShowTimes(bool on)
{
    if (FShowTimes == on)
        return;
    Flush();
    FShowTimes = on;
    QTextDocument* doc = FPane->document();
    QTextCursor edit(doc);
    edit.beginEditBlock();
    int n = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next(), ++n) {
        const qint64 arrived = ArrivedAt(n);
        if (arrived < 0)
            continue;
        QTextCursor at(b);
        if (on) {
            at.insertText(QString::fromLatin1(TimePrefix(arrived)));
        } else {
            at.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor, kTimePrefixLength);
            at.removeSelectedText();
        }
    }
    edit.endEditBlock();
    QScrollBar* bar = FPane->verticalScrollBar();
    bar->setValue(bar->maximum());
}

bool TConversation::WriteLog(QIODevice& out, bool withTimes, const TLogSpool::TProgress& progress)
{
    if (!withTimes)
        return FSpool.CopyTo(out, progress);
    TTimedLog timed(out, FMinutes);
    timed.open(QIODevice::WriteOnly);
    return FSpool.CopyTo(timed, progress);
}

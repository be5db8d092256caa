#include "hubview.h"

#include "sjis.h"
#include "texts.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// CP932 bytes as UTF-8; plain ASCII, which most chat lines are, is copied.
void appendUtf8(std::string& to, std::string_view cp932)
{
    bool ascii = true;
    for (unsigned char b : cp932)
        ascii = ascii && b < 0x80;
    const size_t at = to.size();
    if (ascii)
        to.append(cp932);
    else
        to.append(sjis::decode(cp932).toStdString());
    for (size_t i = at; i < to.size(); ++i)
        if (static_cast<unsigned char>(to[i]) < 0x20 || to[i] == 0x7F)
            to[i] = '?';
}

void writeAll(int fd, std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // nobody reads the journal: the chat goes on
        done += size_t(n);
    }
    bytes.clear();
}

} // namespace

std::string JournalText(const TChatEvent& event)
{
    std::string text;
    ForEachDisplayLine(event, [&](std::string_view line) {
        if (line.empty())
            return;
        if (!text.empty())
            text += ' ';
        appendUtf8(text, line);
    });
    return text;
}

THubView::THubView(bool quiet, const std::string& logFolder, int out, int err) : FQuiet(quiet), FOut(out), FErr(err)
{
    if (!logFolder.empty())
        // Lines that cannot be written wait for the next turn, up to 4 MiB;
        // a spell of failures is told once, on standard error.
        FLog = std::make_unique<TDailyLog>(logFolder, 0640, size_t(4) << 20, [this](int err) {
            if (err)
                Error(sjis::decode(txt::kLogWriteFailed).toStdString() + FLog->Path() + " (" + std::strerror(err) +
                      ")");
        });
}

THubView::~THubView()
{
    Flush();
}

void THubView::stamp(std::string& to)
{
    const std::time_t now = std::time(nullptr);
    if (now != FStampSecond) {
        FStampSecond = now;
        std::tm t{};
        ::localtime_r(&now, &t);
        std::strftime(FStamp, sizeof FStamp, "%Y-%m-%d %H:%M:%S ", &t);
    }
    to += FStamp;
}

void THubView::ShowEvent(const TChatEvent& event)
{
    using K = TChatEvent::TKind;
    if (FLog) {
        const std::time_t now = std::time(nullptr);
        ForEachDisplayLine(event, [this, now](std::string_view line) { FLog->Add(line, now); });
    }
    if (FQuiet && event.Kind != K::Arrival && event.Kind != K::SeatLeft && event.Kind != K::PeerLeft)
        return;
    stamp(FJournal);
    FJournal += JournalText(event);
    if (!event.From.empty()) {
        // Where a member came from, so the one running the hub can deny it.
        FJournal += " (";
        FJournal += event.From;
        FJournal += ')';
    }
    FJournal += '\n';
}

void THubView::ShowError(const std::string& text)
{
    Error(sjis::decode(text).toStdString());
}

void THubView::ShowJournal(const std::string& text)
{
    stamp(FJournal);
    appendUtf8(FJournal, text);
    FJournal += '\n';
}

void THubView::Note(const std::string& utf8)
{
    stamp(FJournal);
    FJournal += utf8;
    FJournal += '\n';
}

void THubView::Error(const std::string& utf8)
{
    stamp(FErrors);
    // A message of several lines (an error box's text) stays one line.
    std::string line = utf8;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    for (char& c : line)
        if (c == '\r' || c == '\n')
            c = ' ';
    FErrors += line;
    FErrors += '\n';
}

void THubView::Flush()
{
    if (FLog)
        FLog->Flush();
    if (!FJournal.empty())
        writeAll(FOut, FJournal);
    if (!FErrors.empty())
        writeAll(FErr, FErrors);
}

#include "consoleview.h"

#include "texts.h"

void TConsoleView::ShowEvent(const TChatEvent& event)
{
    using K = TChatEvent::TKind;
    if (event.Kind == K::Arrival && event.Own) {
        FRosterDue = true;
        return;
    }
    const std::string_view text = event.Text;
    const bool searching = event.Kind == K::Note && text.size() >= txt::kSearching.size() &&
        text.substr(text.size() - txt::kSearching.size()) == txt::kSearching;
    if (searching) {
        FReason.clear(); // a join begins: what follows is its outcome
    } else if (event.Kind == K::Note || event.Kind == K::Line) {
        FReason += (FReason.empty() ? "" : " ") + JournalText(event);
        // The reason is the last few things said and noted, no more.
        if (FReason.size() > kReasonBytes) {
            size_t cut = FReason.size() - kReasonBytes;
            while (cut < FReason.size() && (static_cast<unsigned char>(FReason[cut]) & 0xC0) == 0x80)
                ++cut; // not inside a UTF-8 character
            FReason.erase(0, cut);
        }
    }
    if (event.Kind == K::Note) {
        FWaiting = text == txt::kHubLostWait;
        if (OnState)
            OnState();
    }
    THubView::ShowEvent(event);
}

void TConsoleView::ShowRoster(const std::array<std::string, 9>& names, const std::string&)
{
    FRoster = names;
}

void TConsoleView::ShowConnectOffered(bool offered)
{
    FIdle = offered;
    if (OnState)
        OnState();
}

void TConsoleView::ShowTalking(bool talking)
{
    if (talking) {
        FWaiting = false;
        FReason.clear();
    }
    if (OnState)
        OnState();
}

void TConsoleView::TurnEnded()
{
    if (!FRosterDue)
        return;
    FRosterDue = false;
    std::string names;
    for (const std::string& n : FRoster)
        if (!n.empty())
            names += (names.empty() ? std::string() : txt::kNameSeparator) + n;
    // Through the journal's own formatting: a name's control bytes are masked.
    const std::string line = txt::kRosterNow + names;
    Note(JournalText(TChatEvent::Note(line)));
}

bool TConsoleView::AskWord(const std::string& /*hub*/)
{
    if (OnWordRefused)
        OnWordRefused(txt::kWordFileNeeded);
    return false;
}

void TConsoleView::ShowWordRefused(const std::string& /*hub*/)
{
    if (OnWordRefused)
        OnWordRefused(txt::kWrongWord);
}

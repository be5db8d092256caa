#include "consoleview.h"

#include "texts.h"

void TConsoleView::ShowEvent(const TChatEvent& event)
{
    using K = TChatEvent::TKind;
    if (event.Kind == K::Arrival && event.Own) {
        FRosterDue = true;
        return;
    }
    if (event.Kind == K::Note) {
        const bool searching = event.Text.size() > txt::kSearching.size() &&
                               event.Text.substr(event.Text.size() - txt::kSearching.size()) == txt::kSearching;
        if (searching)
            FReason.clear();
        FWaiting = event.Text == txt::kHubLostWait;
        if (OnState)
            OnState();
    }
    if (event.Kind == K::Note || event.Kind == K::Line) {
        if (!FReason.empty())
            FReason += ' ';
        FReason += JournalText(event);
    }
    THubView::ShowEvent(event);
}

void TConsoleView::ShowRoster(const std::array<std::string, 9>& names, const std::string&)
{
    FRoster = names;
}

void TConsoleView::SetConnectEnabled(bool enabled)
{
    FIdle = enabled;
    if (OnState)
        OnState();
}

void TConsoleView::SetMessageEditEnabled(bool enabled)
{
    FTalking = enabled;
    if (enabled)
        FWaiting = false;
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

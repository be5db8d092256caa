#include "notifier.h"

#include "sjis.h"
#include "texts.h"

#include <QApplication>
#include <QWindow>
#include <QWidget>

namespace {

QString q(const std::string& cp932)
{
    return sjis::decode(cp932);
}

QString oneParagraph(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

TNotifier::TNotifier(QWidget* window) : QObject(window), FWindow(window), FDesktop(MakeDesktopNotices())
{
    setObjectName(QStringLiteral("Notifier"));
    FHold.setSingleShot(true);
    connect(&FHold, &QTimer::timeout, this, &TNotifier::showPending);
    SetDesktop(std::move(FDesktop));
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TNotifier::backInView);
}

TNotifier::~TNotifier() = default;

void TNotifier::SetDesktop(std::unique_ptr<TDesktopNotices> desktop)
{
    FDesktop = std::move(desktop);
    if (FDesktop)
        FDesktop->Activated = [this] { BringToFront(FWindow); };
}

void TNotifier::BringToFront(QWidget* window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

bool TNotifier::userIsAway() const
{
    // The window or one of its dialogs being active counts as looking at it.
    bool looking = false;
    for (const QWidget* w = QApplication::activeWindow(); w && !looking; w = w->parentWidget())
        looking = w == FWindow;
    return !looking || !FWindow->isVisible() || FWindow->isMinimized();
}

void TNotifier::EventShown(const TChatEvent& event)
{
    // Only what others do is news: one's own lines, one's own join and the
    // program's own notes (looking for, disconnected, ...) are not told.
    if (event.Own || event.Kind == TChatEvent::TKind::Note || !userIsAway())
        return;
    const std::string_view nick = event.Nick();
    if (event.Kind == TChatEvent::TKind::Line && !nick.empty())
        arrived(q(std::string(nick)), q(std::string(event.Said())));
    else // the pane's text without the blank line it starts with
        arrived(q(txt::kAppCaption), oneParagraph(q(EventText(event)).trimmed()));
}

void TNotifier::QuestionAsked(const std::string& text)
{
    if (userIsAway())
        arrived(q(txt::kAppCaption), oneParagraph(q(text)));
}

void TNotifier::arrived(const QString& title, const QString& body)
{
    // Before the window first appears (a join from the command line says
    // whom it looks for) the user has not looked away from anything.
    if (!FWindow->testAttribute(Qt::WA_WState_Created))
        return;
    ++FUnseen;
    emit UnseenChanged(FUnseen);
    if (!FEnabled)
        return;
    FTitle = title;
    FBody = body;
    FPending = true;
    if (FHold.isActive())
        return;
    const qint64 since = FLastShown.isValid() ? FLastShown.elapsed() : FInterval;
    if (since >= FInterval)
        showPending();
    else
        FHold.start(int(FInterval - since));
}

void TNotifier::showPending()
{
    if (!FPending || !userIsAway() || !FEnabled)
        return;
    FPending = false;
    FLastShown.restart();
    if (!FDesktop)
        return;
    FDesktop->Alert(FWindow);
    FDesktop->Show(FTitle, FBody);
}

void TNotifier::backInView()
{
    if (userIsAway() || (!FUnseen && !FPending))
        return;
    FUnseen = 0;
    FPending = false;
    FHold.stop();
    if (FDesktop)
        FDesktop->Seen();
    emit UnseenChanged(0);
}

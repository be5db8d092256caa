#include "notifier.h"

#include "sjis.h"
#include "texts.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSettings>
#include <QWindow>
#include <QWidget>

namespace {

const QString kNotifyKey = QStringLiteral("user/notify");

QString q(const std::string& cp932) { return sjis::decode(cp932); }

QString oneParagraph(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

TNotifier::TNotifier(QWidget* window, QMenu* settingsMenu)
    : QObject(window), FWindow(window), FDesktop(MakeDesktopNotices())
{
    setObjectName(QStringLiteral("Notifier"));
    FEnable = settingsMenu->addAction(q(txt::kMenuNotify));
    FEnable->setObjectName(QStringLiteral("KNotify"));
    FEnable->setCheckable(true);
    QSettings s(QStringLiteral("tovanit"), QStringLiteral("pelmora"));
    FEnable->setChecked(s.value(kNotifyKey, QStringLiteral("1")).toString().trimmed() != QLatin1String("0"));
    connect(FEnable, &QAction::toggled, this, [](bool on) {
        QSettings s(QStringLiteral("tovanit"), QStringLiteral("pelmora"));
        s.setValue(kNotifyKey, on ? QStringLiteral("1") : QStringLiteral("0"));
    });

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

void TNotifier::LineArrived(const std::string& text)
{
    if (!userIsAway())
        return;
    // "nick> text" is a chat line; anything else is the program's own note.
    const size_t mark = text.find("> ");
    if (mark != std::string::npos && mark > 0 && text.find("\r\n") > mark)
        arrived(q(text.substr(0, mark)), oneParagraph(q(text.substr(mark + 2))));
    else
        arrived(q(txt::kAppCaption), oneParagraph(q(text)));
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
    if (!FEnable->isChecked())
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
    if (!FPending || !userIsAway() || !FEnable->isChecked())
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

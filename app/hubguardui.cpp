#include "hubguardui.h"

#include "mainwindow.h"
#include "settingskeys.h"
#include "sjis.h"
#include "texts.h"

#include "flatbutton.h"
#include "modaldialog.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QListWidget>
#include <QMenu>
#include <QSettings>
#include <QToolTip>

THubGuardUi::THubGuardUi(TTWSChatForm& form, QMenu* settingsMenu) : QObject(&form), FForm(form)
{
    for (QLabel* l : FForm.lbName)
        l->installEventFilter(this);
    QAction* list = settingsMenu->addAction(sjis::decode(txt::kMenuShutOutList));
    list->setObjectName(QStringLiteral("KDenied"));
    connect(list, &QAction::triggered, this, &THubGuardUi::ShowDeniedList);
}

int THubGuardUi::seatOf(QObject* label) const
{
    for (int i = 0; i < 9; ++i)
        if (FForm.lbName[static_cast<size_t>(i)] == label)
            return i + 1;
    return 0;
}

bool THubGuardUi::eventFilter(QObject* watched, QEvent* event)
{
    // Only these two are looked at: the labels see others while the window
    // is taken down, after its chat is gone.
    if (event->type() != QEvent::ToolTip && event->type() != QEvent::ContextMenu)
        return false;
    const int k = seatOf(watched);
    // Only a hub knows where its seats are: a peer's roster is names only.
    if (k == 0 || !FForm.Chat || !FForm.Chat->rbServer || !FForm.Chat->SeatConnected(k))
        return false;
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(),
                           sjis::decode(txt::kSeatAddress) + QString::fromStdString(FForm.Chat->SeatAddress(k)),
                           static_cast<QWidget*>(watched));
        return true;
    }
    if (event->type() == QEvent::ContextMenu) {
        QMenu menu(&FForm);
        QAction* shut = menu.addAction(sjis::decode(txt::kShutOut));
        shut->setObjectName(QStringLiteral("KShutOut"));
        if (menu.exec(static_cast<QContextMenuEvent*>(event)->globalPos()) == shut)
            ShutOut(k);
        return true;
    }
    return false;
}

void THubGuardUi::ShutOut(int k)
{
    if (FForm.Chat->rbServer)
        FForm.Chat->ShutOut(k);
}

void THubGuardUi::fillList(QListWidget* list) const
{
    list->clear();
    for (const std::string& e : FForm.Chat->Guard.rules.DeniedTexts())
        list->addItem(QString::fromStdString(e));
    if (list->count() == 0) {
        auto* none = new QListWidgetItem(sjis::decode(txt::kShutOutListNone), list);
        none->setFlags(Qt::NoItemFlags);
    }
}

void THubGuardUi::takeOff(const QString& entry)
{
    FForm.Chat->Guard.rules.Undeny(entry.toStdString());
    QSettings s(QLatin1String(settingskeys::kOrganisation), QLatin1String(settingskeys::kApplication));
    QStringList saved = s.value(QLatin1String(settingskeys::kHubDeny)).toStringList();
    if (saved.removeAll(entry) > 0)
        s.setValue(QLatin1String(settingskeys::kHubDeny), saved);
}

// The list dialog: the program's own light dialog with its flat buttons.
class TDeniedList : public TModalDialog {
public:
    explicit TDeniedList(QWidget* parent) : TModalDialog(parent)
    {
        setObjectName(QStringLiteral("DeniedList"));
        setupWindow(txt::kShutOutListCaption, 260, 200);
        setCentred();
        Entries = new QListWidget(this);
        Entries->setObjectName(QStringLiteral("Entries"));
        Entries->setGeometry(8, 8, 244, 150);
        Remove = makeFlatButton(this, "Remove", QRect(100, 168, 70, 24), txt::kShutOutRemove, [] {});
        makeFlatButton(this, "Close", QRect(182, 168, 70, 24), txt::kShutOutClose, [this] { SetModalResult(mrOk); });
        setCancelButton(addCancelButton(this, QRect(-100, -100, 10, 10), [this] { SetModalResult(mrCancel); }));
    }
    QListWidget* Entries;
    TCuteButton* Remove;
};

void THubGuardUi::ShowDeniedList()
{
    TDeniedList d(&FForm);
    QListWidget* list = d.Entries;
    fillList(list);
    auto update = [list, &d] {
        d.Remove->setEnabled(list->currentItem() && (list->currentItem()->flags() & Qt::ItemIsEnabled));
    };
    update();
    connect(list, &QListWidget::currentItemChanged, &d, update);
    connect(d.Remove, &TCuteButton::clicked, &d, [this, list, update] {
        if (QListWidgetItem* item = list->currentItem()) {
            takeOff(item->text());
            fillList(list);
            update();
        }
    });
    d.ShowModal();
}

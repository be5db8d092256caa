#include "hubguardui.h"

#include "mainwindow.h"
#include "settingskeys.h"
#include "sjis.h"
#include "texts.h"

#include "flatbutton.h"
#include "modaldialog.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QLabel>
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
// The seats are listed too, so that shutting one out needs no mouse.
class TDeniedList : public TModalDialog {
public:
    explicit TDeniedList(QWidget* parent) : TModalDialog(parent)
    {
        setObjectName(QStringLiteral("DeniedList"));
        setupWindow(txt::kShutOutListCaption, 260, 330);
        setCentred();
        Members = list("Members", txt::kShutOutMembers, 4);
        ShutOut = makeFlatButton(this, "ShutOut", QRect(182, 130, 70, 24), txt::kShutOut, [] {});
        Entries = list("Entries", txt::kShutOutDenied, 164);
        Remove = makeFlatButton(this, "Remove", QRect(100, 296, 70, 24), txt::kShutOutRemove, [] {});
        makeFlatButton(this, "Close", QRect(182, 296, 70, 24), txt::kShutOutClose, [this] { SetModalResult(mrOk); });
        setCancelButton(addCancelButton(this, QRect(-100, -100, 10, 10), [this] { SetModalResult(mrCancel); }));
    }
    QListWidget* Members;
    TCuteButton* ShutOut;
    QListWidget* Entries;
    TCuteButton* Remove;

private:
    // A list under its caption, the caption its name for screen readers.
    QListWidget* list(const char* name, const std::string& caption, int top)
    {
        auto* label = new QLabel(sjis::decode(caption), this);
        label->setGeometry(8, top, 244, 18);
        auto* l = new QListWidget(this);
        l->setObjectName(QLatin1String(name));
        l->setAccessibleName(label->text());
        label->setBuddy(l);
        l->setGeometry(8, top + 20, 244, 100);
        return l;
    }
};

void THubGuardUi::fillMembers(QListWidget* list) const
{
    list->clear();
    for (int k = 1; k <= 9; ++k)
        if (FForm.Chat->rbServer && FForm.Chat->SeatConnected(k) && !FForm.Chat->Seat(k).Name.empty()) {
            auto* item = new QListWidgetItem(sjis::decode(FForm.Chat->Seat(k).Name) + QStringLiteral("  ") +
                                                 QString::fromStdString(FForm.Chat->SeatAddress(k)),
                                             list);
            item->setData(Qt::UserRole, k);
        }
}

void THubGuardUi::ShowDeniedList()
{
    TDeniedList d(&FForm);
    QListWidget* list = d.Entries;
    QListWidget* members = d.Members;
    fillList(list);
    fillMembers(members);
    auto chosen = [](QListWidget* l) { return l->currentItem() && (l->currentItem()->flags() & Qt::ItemIsEnabled); };
    auto update = [list, members, chosen, &d] {
        d.Remove->setEnabled(chosen(list));
        d.ShutOut->setEnabled(chosen(members));
    };
    update();
    connect(list, &QListWidget::currentItemChanged, &d, update);
    connect(members, &QListWidget::currentItemChanged, &d, update);
    connect(d.Remove, &TCuteButton::clicked, &d, [this, list, update] {
        if (QListWidgetItem* item = list->currentItem()) {
            takeOff(item->text());
            fillList(list);
            update();
        }
    });
    connect(d.ShutOut, &TCuteButton::clicked, &d, [this, list, members, update] {
        if (QListWidgetItem* item = members->currentItem()) {
            ShutOut(item->data(Qt::UserRole).toInt());
            fillMembers(members);
            fillList(list);
            update();
        }
    });
    d.ShowModal();
}

#include "mainwindow.h"

#include "tlsidentity.h"

#include <cstdio>

#include "groupwordui.h"
#include "hubguardui.h"

#include "appearance.h"
#include "findbar.h"
#include "inputcheck.h"
#include "savednote.h"
#include "application.h"
#include "flatbutton.h"
#include "modaldialog.h"
#include "settings.h"
#include "spoolrecovery.h"
#include "ownaddress.h"
#include "singleline.h"
#include "sjis.h"
#include "texts.h"
#include "timeofday.h"
#include "wholeselect.h"
#include "wsockerr.h"

#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QShortcut>
#include <QWheelEvent>
#include <QVBoxLayout>

namespace {

QWidget* panel(QWidget* parent, const char* name)
{
    auto* w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, look::kPanel);
    w->setPalette(pal);
    return w;
}

QLabel* hiddenLabel(QWidget* parent, const char* name, const std::string& cp932)
{
    auto* label = new QLabel(sjis::decode(cp932), parent);
    label->setObjectName(QLatin1String(name));
    label->hide();
    return label;
}

// The roster strip: reached by Tab (a screen reader then reads its names),
// showing the focus ring while it has the keyboard.
class TFocusPanel : public QWidget {
public:
    explicit TFocusPanel(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::TabFocus); }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QWidget::paintEvent(e);
        if (hasFocus()) {
            QPainter p(this);
            look::DrawFocusRing(p, rect().adjusted(2, 2, -2, -2));
        }
    }
    void focusInEvent(QFocusEvent* e) override
    {
        QWidget::focusInEvent(e);
        update();
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        QWidget::focusOutEvent(e);
        update();
    }
};

// The input row's right-hand panel stays aligned to the right edge.
class RightAligned : public QObject {
public:
    RightAligned(QWidget* host, QWidget* child, int width) : QObject(host), FChild(child), FWidth(width)
    {
        host->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Resize) {
            auto* host = static_cast<QWidget*>(o);
            FChild->setGeometry(host->width() - FWidth, 0, FWidth, host->height());
        }
        return false;
    }

private:
    QWidget* FChild;
    int FWidth;
};

} // namespace

TTWSChatForm::TTWSChatForm(const QString& firstArgument, QWidget* parent, const TChatPlace& place)
    : QMainWindow(parent), FListenPort(QString::fromStdString(place.port))
{
    setObjectName(QStringLiteral("TWSChatForm"));
    setWindowTitle(sjis::decode(txt::kAppCaption));
    setWindowIcon(ProgramIcon());
    QPalette pal = look::ProgramPalette();
    pal.setColor(QPalette::Window, look::kWindow);
    setPalette(pal);
    QFont windowFont = font();
    windowFont.setPixelSize(11);
    setFont(windowFont);

    buildControls();
    buildMenu();
    // The save command is offered while something is not saved.
    connect(Conversation, &TConversation::UnsavedChanged, this, [this](bool unsaved) {
        if (unsaved)
            DisplayMemoChange();
        else
            K5->setEnabled(false);
    });
    connect(Conversation, &TConversation::SpoolTrouble, this, [this](const std::string& reason) {
        showFileTrouble(FSpoolNote,
                        reason.empty() ? QString() : sjis::decode(txt::kSpoolFailing).arg(sjis::decode(reason)));
    });
    connect(Conversation, &TConversation::AutoLogTrouble, this, [this](const std::string& reason) {
        showFileTrouble(FAutoLogNote, reason.empty() ? QString() : sjis::decode(txt::kAutoLogFailed + reason));
    });
    SirSock1 = new TSirSock(this);
    Chat = std::make_unique<TChatCore>(this, place.listenAddr, place.port,
                                       place.ownAddr.empty() ? SirSock1->SelfIPAddress() : place.ownAddr);
    Chat->Guard = THubGuard::Stored(); // who may call this window's hub, from the settings
    std::string tlsError;
    if (place.encrypt && !Chat->EncryptWithOwnIdentity(&tlsError)) // plain, said once in the pane
        ShowEvent(TChatEvent::Note(
            sjis::encode(sjis::decode(txt::kPlainForNoKey).arg(QString::fromStdString(TTlsIdentity::DefaultPath())))));
    new THubGuardUi(*this, K7);           // the seats' addresses, 「締め出す」 and the list
    WordUi = new TGroupWordUi(*this, K7); // 合言葉...: asked of callers, proved to hubs

    if (!firstArgument.isEmpty())
        guarded([&] { Chat->CommandLineJoin(sjis::encode(firstArgument)); });
    FormCreate();
}

TTWSChatForm::~TTWSChatForm()
{
    // The sockets go first, while the widgets they might talk to still exist.
    Chat.reset();
}

void TTWSChatForm::buildControls()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    setCentralWidget(central);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    const QFont gothic = pelmoraFont(13);
    column->addWidget(buildRosterStrip(central, gothic));
    column->addLayout(buildConversation(central, gothic), 1);
    FindBar = new TFindBar(DisplayMemo, central);
    column->addWidget(FindBar);
    column->addWidget(buildInputRow(central, gothic));
    buildDefaultButton(central);
    // Tab and Shift+Tab go round the pane, the input box, 発言 and the
    // roster strip.
    setTabOrder(DisplayMemo, MessageEdit);
    setTabOrder(MessageEdit, SendButton);
    setTabOrder(SendButton, Panel1);
    // Until a join enables the input box the focus rests on the pane, where
    // keys only scroll: a stray Space or Enter cannot press 発言.
    DisplayMemo->setFocus();
}

// The strip on top: "おともだち" and the nine name labels, with the hidden
// labels that hold the link target, the own name and the next candidate.
QWidget* TTWSChatForm::buildRosterStrip(QWidget* central, const QFont& gothic)
{
    Panel1 = new TFocusPanel(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    QPalette pal = Panel1->palette();
    pal.setColor(QPalette::Window, look::kPanel);
    Panel1->setPalette(pal);
    Panel1->setFixedHeight(27);
    Panel1->setFont(gothic);
    Panel1->setAccessibleName(sjis::decode(txt::kAccRoster));
    Label1 = new QLabel(sjis::decode(txt::kNoFriends), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(13, 7);
    Label1->adjustSize();
    for (int i = 0; i < 9; ++i) {
        lbName[i] = new QLabel(Panel1);
        lbName[i]->setObjectName(QStringLiteral("lbName%1").arg(i + 1));
        lbName[i]->move(-10, 7);
        lbName[i]->adjustSize();
        lbName[i]->hide(); // shown when a name takes the place
        lbPlain[i] = look::NewPlainMark(Panel1);
        lbPlain[i]->setObjectName(QStringLiteral("lbPlain%1").arg(i + 1));
        lbPlain[i]->setToolTip(sjis::decode(txt::kLinkPlain));
        lbPlain[i]->setAccessibleName(sjis::decode(txt::kLinkPlain));
        lbPlain[i]->hide();
    }
    IPName = hiddenLabel(Panel1, "IPName", txt::kIPNameDesign);
    NameLabel = hiddenLabel(Panel1, "Name", txt::kNameDesign);
    NextIP = hiddenLabel(Panel1, "NextIP", std::string());
    return Panel1;
}

// The conversation pane between two narrow side panels.
QLayout* TTWSChatForm::buildConversation(QWidget* central, const QFont& gothic)
{
    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    Panel4 = panel(central, "Panel4");
    Panel4->setFixedWidth(10);
    Panel5 = panel(central, "Panel5");
    Panel5->setFixedWidth(10);
    DisplayMemo = new TConversationPane(central);
    DisplayMemo->setObjectName(QStringLiteral("DisplayMemo"));
    DisplayMemo->setAccessibleName(sjis::decode(txt::kAccPane));
    DisplayMemo->setFocusPolicy(Qt::StrongFocus); // Tab reaches it too, not only a click
    DisplayMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DisplayMemo->viewport()->setCursor(Qt::ArrowCursor);
    DisplayMemo->setFont(gothic);
    DisplayMemo->setUndoRedoEnabled(false);
    QPalette white = DisplayMemo->palette();
    white.setColor(QPalette::Base, Qt::white);
    DisplayMemo->setPalette(white);
    Conversation = new TConversation(DisplayMemo, this);
    DisplayMemo->LineTime = [this](int line) {
        const qint64 arrived = Conversation->ArrivedAt(line);
        return arrived < 0 ? QString() : TimeTip(arrived);
    };
    connect(DisplayMemo, &TConversationPane::zoomRequested, this, [this](int steps) { SetZoom(FZoom + steps); });
    SavedNote = new TSavedNote(DisplayMemo);
    middle->addWidget(Panel4);
    middle->addWidget(DisplayMemo, 1);
    middle->addWidget(Panel5);
    return middle;
}

// The input row: the message box, and on the right the send button and the
// picture that opens the status dialog.
QWidget* TTWSChatForm::buildInputRow(QWidget* central, const QFont& gothic)
{
    Panel2 = panel(central, "Panel2");
    Panel2->setFixedHeight(41);
    MessageEdit = new QLineEdit(sjis::decode(txt::kMessageEditInitial), Panel2);
    MessageEdit->setObjectName(QStringLiteral("MessageEdit"));
    MessageEdit->setFont(gothic);
    MessageEdit->setGeometry(10, 10, 365, 21);
    MessageEdit->setEnabled(false);
    makeSingleLine(MessageEdit);
    selectWholeOnFocus(MessageEdit); // the first key replaces the greeting
    MessageEdit->setAccessibleName(sjis::decode(txt::kAccMessageEdit));
    MessageEdit->setAttribute(Qt::WA_InputMethodEnabled, true);
    MessageEdit->installEventFilter(this);
    FInputCheck = new TInputCheck(MessageEdit);
    connect(FInputCheck, &TInputCheck::Changed, this, [this] {
        if (!FInputCheck->Refused())
            showUnsendable(QString());
    });
    Panel3 = panel(Panel2, "Panel3");
    new RightAligned(Panel2, Panel3, 105);
    SendButton = makeFlatButton(Panel3, "SendButton", {8, 10, 41, 21}, txt::kSendCaption,
                                [this] { guarded([this] { SendButtonClick(); }); });
    SendButton->setFont(gothic);
    SendButton->SetFlat(false);
    Image1 = new QLabel(Panel3);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(look::statusPicture());
    Image1->setGeometry(59, 3, 37, 37);
    // Named for what a click on it opens.
    Image1->setAccessibleName(sjis::decode(txt::kMenuStatus));
    Image1->installEventFilter(this);
    return Panel2;
}

// The window's default button, outside the visible area: Enter in the
// input box presses it, and it presses the send button.
void TTWSChatForm::buildDefaultButton(QWidget* central)
{
    Button1 = new QPushButton(QStringLiteral("Button1"), central);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(-200, 119, 75, 25);
    Button1->setFocusPolicy(Qt::NoFocus);
    // Hidden as well, so assistive technology does not offer it; click()
    // works the same on a hidden button.
    Button1->hide();
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(MessageEdit, &QLineEdit::returnPressed, Button1, &QPushButton::click);
}

void TTWSChatForm::buildMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto item = [this](QMenu* menu, const char* name, const std::string& caption, QKeySequence key,
                       void (TTWSChatForm::*handler)()) {
        QAction* a = menu->addAction(sjis::decode(caption));
        a->setObjectName(QLatin1String(name));
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        if (handler)
            connect(a, &QAction::triggered, this,
                    [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
        return a;
    };

    K1 = bar->addMenu(sjis::decode(txt::kMenuTop));
    K1->setObjectName(QStringLiteral("K1"));
    K8 = item(K1, "K8", txt::kMenuConnect, QKeySequence(Qt::CTRL | Qt::Key_C), &TTWSChatForm::K8Click);
    K9 = item(K1, "K9", txt::kMenuDisconnect, QKeySequence(Qt::CTRL | Qt::Key_D), &TTWSChatForm::K9Click);
    K9->setEnabled(false);
    KIP1 = item(K1, "KIP1", txt::kMenuStatus, QKeySequence(Qt::Key_F2), &TTWSChatForm::KIP1Click);
    K5 = item(K1, "K5", txt::kMenuSaveLog, QKeySequence(Qt::CTRL | Qt::Key_S), &TTWSChatForm::K5Click);
    K5->setEnabled(false);
    FindAction = item(K1, "FindAction", txt::kMenuFind, QKeySequence(Qt::CTRL | Qt::Key_F), &TTWSChatForm::openFind);
    N1 = K1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    K6 = item(K1, "K6", txt::kMenuExit, QKeySequence(Qt::CTRL | Qt::Key_Q), &TTWSChatForm::K6Click);

    K7 = bar->addMenu(sjis::decode(txt::kMenuSettings));
    K7->setObjectName(QStringLiteral("K7"));
    K4 = item(K7, "K4", txt::kMenuName, QKeySequence(Qt::CTRL | Qt::Key_N), &TTWSChatForm::K4Click);
    TimesAction = item(K7, "TimesAction", txt::kMenuShowTimes, QKeySequence(), nullptr);
    TimesAction->setCheckable(true);
    connect(TimesAction, &QAction::toggled, this, [this](bool on) { SetShowTimes(on); });
    NotifyAction = item(K7, "KNotify", txt::kMenuNotify, QKeySequence(), nullptr);
    NotifyAction->setCheckable(true);
    NotifyAction->setChecked(FNotify);
    connect(NotifyAction, &QAction::toggled, this, [this](bool on) {
        FNotify = on;
        emit NotifyChanged(on);
        settingsChanged();
    });
    AutoLogAction = item(K7, "KAutoLog", txt::kMenuAutoLog, QKeySequence(), nullptr);
    AutoLogAction->setCheckable(true);
    connect(AutoLogAction, &QAction::toggled, this, [this](bool on) { SetAutoLog(on); });
    AutoRejoinAction = item(K7, "KAutoRejoin", txt::kMenuAutoRejoin, QKeySequence(), nullptr);
    AutoRejoinAction->setCheckable(true);
    connect(AutoRejoinAction, &QAction::toggled, this, [this](bool on) { SetAutoRejoin(on); });

    K2 = bar->addMenu(sjis::decode(txt::kMenuHelpTop));
    K2->setObjectName(QStringLiteral("K2"));
    K10 = item(K2, "K10", txt::kMenuHelp, QKeySequence(Qt::Key_F1), &TTWSChatForm::K10Click);
    K3 = item(K2, "K3", txt::kMenuAbout, QKeySequence(), &TTWSChatForm::Label2Click);

    // F5 on the top-level item opens that menu; F10, the desktop's key for
    // the menu bar, does the same.
    for (auto key : {Qt::Key_F5, Qt::Key_F10}) {
        auto* open = new QShortcut(QKeySequence(key), this);
        connect(open, &QShortcut::activated, this, [this] { menuBar()->setActiveAction(K1->menuAction()); });
    }
    buildViewKeys();
}

// Zoom keys (Ctrl++ also as Ctrl+= and, on Japanese keyboards, Ctrl+;),
// and Escape for the find bar.
void TTWSChatForm::buildViewKeys()
{
    auto bind = [this](QKeySequence key, std::function<void()> run) {
        auto* s = new QShortcut(key, this);
        connect(s, &QShortcut::activated, this, std::move(run));
        return s;
    };
    for (auto k : {Qt::Key_Plus, Qt::Key_Equal, Qt::Key_Semicolon})
        bind(QKeySequence(Qt::CTRL | k), [this] { SetZoom(FZoom + 1); });
    bind(QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { SetZoom(FZoom - 1); });
    bind(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { SetZoom(0); });
    FEscape = bind(QKeySequence(Qt::Key_Escape), [this] {
        FindBar->Close();
        FEscape->setEnabled(false);
    });
    FEscape->setEnabled(false);
    // The look-alikes offered for what the wire cannot carry.
    FReplaceKey = bind(QKeySequence(Qt::CTRL | Qt::Key_R), [this] {
        if (FInputCheck->ReplaceLookAlikes())
            FocusMessageEdit();
    });
}

void TTWSChatForm::openFind()
{
    FindBar->Open();
    FEscape->setEnabled(true);
}

void TTWSChatForm::SetZoom(int steps)
{
    FZoom = qBound(kMinZoom, steps, kMaxZoom);
    const QFont font = pelmoraFont(13 + FZoom);
    DisplayMemo->setFont(font);
    MessageEdit->setFont(font);
    // A larger font needs a taller input row; at the default size and below
    // the row keeps its 41 pixels.
    const int extra = qMax(0, QFontMetrics(font).height() - QFontMetrics(pelmoraFont(13)).height());
    Panel2->setFixedHeight(41 + extra);
    MessageEdit->resize(MessageEdit->width(), 21 + extra);
    settingsChanged();
}

namespace {

// A checkable setting takes the value on: its menu item shows it (the item
// comes back to the setter through toggled). False when nothing changes.
bool adopt(QAction* item, bool& value, bool on)
{
    if (item->isChecked() != on)
        item->setChecked(on);
    if (value == on)
        return false;
    value = on;
    return true;
}

} // namespace

void TTWSChatForm::SetShowTimes(bool on)
{
    if (!adopt(TimesAction, FShowTimes, on))
        return;
    Conversation->SetShowTimes(on);
    settingsChanged();
}

void TTWSChatForm::SetAutoRejoin(bool on)
{
    if (adopt(AutoRejoinAction, FAutoRejoin, on))
        settingsChanged();
}

void TTWSChatForm::SetAutoLog(bool on)
{
    if (!adopt(AutoLogAction, FAutoLog, on))
        return;
    Conversation->SetAutoLog(on ? LogFolder() : QString());
    if (!on)
        showFileTrouble(FAutoLogNote, QString());
    settingsChanged();
}

// A note about a file of the conversation that cannot be written: shown
// once, it stays while the cause lasts; an empty reason withdraws it.
void TTWSChatForm::showFileTrouble(QString& shown, const QString& text)
{
    if (!shown.isEmpty())
        SavedNote->Withdraw(shown);
    shown = text;
    if (!text.isEmpty())
        SavedNote->ShowText(text, QString(), true);
}

void TTWSChatForm::showUnsendable(const QString& text)
{
    showFileTrouble(FUnsendableNote, text);
}

bool TTWSChatForm::answeredBySetting(const std::string& text)
{
    if (!FAutoRejoin)
        return false;
    if (text == txt::kHubLostQuestion)
        ShowEvent(TChatEvent::Note(txt::kAutoRejoinHubLost));
    else if (text == txt::kRedirectQuestion)
        ShowEvent(TChatEvent::Note(txt::kAutoRejoinRedirect));
    else
        return false;
    return true;
}

void TTWSChatForm::ShowRecovery(const TRecovery& recovery)
{
    QStringList lines;
    for (const QString& path : recovery.Saved)
        lines << sjis::decode(txt::kRecoveredNote) + QDir::toNativeSeparators(path);
    for (const std::string& note : recovery.Notes)
        lines << sjis::decode(note);
    if (!lines.isEmpty())
        SavedNote->ShowText(lines.join(QLatin1Char('\n')), recovery.Saved.value(0), true);
}

void TTWSChatForm::EndSession()
{
    FEnding = true;
    close();
}

void TTWSChatForm::settingsChanged()
{
    if (!FReading)
        WriteSettings();
}

void TTWSChatForm::rememberAddress(const QString& address)
{
    FRecent.removeAll(address);
    FRecent.prepend(address);
    while (FRecent.size() > TWindowSettings::kRecentAddresses)
        FRecent.removeLast();
}

void TTWSChatForm::FormCreate()
{
    FReading = true;
    const TWindowSettings s = TWindowSettings::Read();
    const QRect r = fitOnScreen(s.bounds);
    move(r.topLeft());
    resize(r.size());
    Chat->Name = s.name;
    Conversation->SetScrollback(s.scrollback);
    NameLabel->setText(sjis::decode(Chat->Name));
    SetZoom(s.zoom);
    SetShowTimes(s.showTimes);
    FNotify = s.notify;
    NotifyAction->setChecked(s.notify);
    SetAutoLog(s.autoLog);
    SetAutoRejoin(s.autoRejoin);
    FRecent = s.recentAddresses;
    FReading = false;
}

void TTWSChatForm::FormShow()
{
    // The chat opens the listener on the first showing only; a failure (the
    // port is taken) is shown and the window stays up without a listener.
    try {
        Chat->StartServer();
    } catch (const ESocketException& e) {
        // A port in use is the one failure a user can mend: say whose it is.
        std::string text = txt::kListenFailed + "\r\n";
        if (WSAGetLastError() == WSAEADDRINUSE) // the failed call's own code
            text += sjis::encode(sjis::decode(txt::kPortInUse).arg(FListenPort)) + "\r\n";
        TApplication::ShowException(text + TApplication::MessageOf(e));
    } catch (const std::exception& e) {
        TApplication::ShowException(txt::kListenFailed + "\r\n" + TApplication::MessageOf(e));
    }
}

void TTWSChatForm::FormResize()
{
    MessageEdit->resize(qMax(0, width() - 125), MessageEdit->height());
}

void TTWSChatForm::DisplayMemoChange()
{
    K5->setEnabled(true);
}

void TTWSChatForm::Button1Click()
{
    SendButton->Click();
}

bool TTWSChatForm::FormCloseQuery()
{
    return FEnding || Chat->CloseQuery();
}

void TTWSChatForm::FormClose()
{
    Chat->FormClose();
    FSettingsFailSaid = false;
    WriteSettings();
}

bool TTWSChatForm::WriteSettings()
{
    TWindowSettings s;
    s.bounds = QRect(pos(), size());
    s.name = Chat->Name;
    s.scrollback = Conversation->Scrollback();
    s.zoom = FZoom;
    s.showTimes = FShowTimes;
    s.notify = FNotify;
    s.autoLog = FAutoLog;
    s.autoRejoin = FAutoRejoin;
    s.recentAddresses = FRecent;
    if (s.Write())
        return true;
    // Said once while the program runs, and again at close.
    if (!FSettingsFailSaid && !FEnding) {
        FSettingsFailSaid = true;
        TApplication::ShowException(txt::kSettingsNotSaved);
    }
    return false;
}

void TTWSChatForm::guarded(const std::function<void()>& handler)
{
    // A menu or button handler's failure is shown, and the program goes on.
    try {
        handler();
    } catch (const std::exception& e) {
        TApplication::ShowException(TApplication::MessageOf(e));
    }
}

void TTWSChatForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    FormShow();
}

void TTWSChatForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TTWSChatForm::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TTWSChatForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        guarded([this] { KIP1Click(); });
        return true;
    }
    if (watched == MessageEdit && event->type() == QEvent::ShortcutOverride) {
        // The menu's shortcuts win over the edit box's own keys (Ctrl+C
        // connects, as the menu says, rather than copying).
        auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (QAction* a : {K8, K9, KIP1, K5, FindAction, K6, K4, K10}) {
            if (a->isEnabled() && a->shortcut() == pressed) {
                event->ignore();
                return true;
            }
        }
    }
    if (watched == MessageEdit && event->type() == QEvent::KeyPress &&
        DisplayMemo->ScrollKey(static_cast<QKeyEvent*>(event)))
        return true;
    if (watched == MessageEdit && event->type() == QEvent::Wheel &&
        (static_cast<QWheelEvent*>(event)->modifiers() & Qt::ControlModifier)) {
        // The pane turns Ctrl+wheel into zoom steps for both.
        QCoreApplication::sendEvent(DisplayMemo->viewport(), event);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

#include "savednote.h"

#include "conversationpane.h"
#include "flatbutton.h"
#include "modaldialog.h"
#include "palette.h"
#include "sjis.h"
#include "texts.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QUrl>

TSavedNote::TSavedNote(QWidget* pane) : QFrame(pane)
{
    setObjectName(QStringLiteral("SavedNote"));
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, look::kPanel);
    setPalette(pal);
    setFont(pelmoraFont(12));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 6, 3);
    Text = new QLabel(this);
    Text->setObjectName(QStringLiteral("SavedNoteText"));
    Text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Text->setWordWrap(true);
    row->addWidget(Text, 1);
    OpenFolderButton = makeFlatButton(this, "OpenFolderButton", {0, 0, 90, 21}, txt::kOpenFolder, [this] {
        TConversationPane::Open(QUrl::fromLocalFile(QFileInfo(FPath).absolutePath()));
    });
    OpenFolderButton->setFixedSize(90, 21);
    OpenFolderButton->SetFlat(false);
    row->addWidget(OpenFolderButton);

    // The timer runs only while the note is shown.
    FHide = new QTimer(this);
    FHide->setSingleShot(true);
    connect(FHide, &QTimer::timeout, this, &QWidget::hide);
    pane->installEventFilter(this);
    Text->installEventFilter(this);
    hide();
}

void TSavedNote::Show(const QString& fullPath)
{
    ShowText(sjis::decode(txt::kLogSavedNote) + QDir::toNativeSeparators(fullPath), fullPath);
}

void TSavedNote::ShowText(const QString& text, const QString& fullPath, bool stays)
{
    FPath = fullPath;
    Text->setText(text);
    OpenFolderButton->setVisible(!fullPath.isEmpty());
    place();
    show();
    raise();
    if (stays)
        FHide->stop();
    else
        FHide->start(kShownMs);
}

void TSavedNote::Withdraw(const QString& text)
{
    if (Text->text() == text) {
        FHide->stop();
        hide();
    }
}

void TSavedNote::place()
{
    auto* pane = parentWidget();
    const int w = qMax(60, pane->width() - 24);
    const int h = heightForWidth(w) > 0 ? heightForWidth(w) : sizeHint().height();
    setGeometry(4, pane->height() - h - 4, w, h);
}

bool TSavedNote::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        place();
    if (watched == Text && event->type() == QEvent::MouseButtonDblClick)
        hide();
    return QFrame::eventFilter(watched, event);
}

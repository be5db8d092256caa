#include "findbar.h"

#include "flatbutton.h"
#include "modaldialog.h"
#include "palette.h"
#include "sjis.h"
#include "texts.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <functional>

TFindBar::TFindBar(QPlainTextEdit* pane, QWidget* parent) : QWidget(parent), FPane(pane)
{
    setObjectName(QStringLiteral("FindBar"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, look::kPanel);
    setPalette(pal);
    setFont(pelmoraFont(13));
    setFixedHeight(29);
    setAccessibleName(sjis::decode(txt::kAccFindBar));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 4, 10, 4);
    row->setSpacing(6);
    FindEdit = new QLineEdit(this);
    FindEdit->setObjectName(QStringLiteral("FindEdit"));
    FindEdit->setAccessibleName(sjis::decode(txt::kAccFindEdit));
    FindEdit->installEventFilter(this);
    row->addWidget(FindEdit, 1);
    auto button = [this, row](const char* name, const std::string& caption, std::function<void()> onClick) {
        TCuteButton* b = makeFlatButton(this, name, {0, 0, 49, 21}, caption, std::move(onClick));
        b->setFixedSize(49, 21);
        b->SetFlat(false);
        row->addWidget(b);
        return b;
    };
    PreviousButton = button("PreviousButton", txt::kFindPrevious, [this] { FindPrevious(); });
    NextButton = button("NextButton", txt::kFindNext, [this] { FindNext(); });
    CloseButton = button("CloseButton", txt::kFindClose, [this] { Close(); });

    connect(FindEdit, &QLineEdit::textEdited, this, [this] {
        mark();
        // Typing refines the match where it stands rather than skipping on.
        QTextCursor c = FPane->textCursor();
        c.setPosition(c.selectionStart());
        FPane->setTextCursor(c);
        find(false);
    });
    hide();
}

void TFindBar::Open()
{
    show();
    FindEdit->setFocus();
    FindEdit->selectAll();
    mark();
}

void TFindBar::Close()
{
    FPane->setExtraSelections({});
    FMarks = 0;
    hide();
}

bool TFindBar::FindNext()
{
    return find(false);
}

bool TFindBar::FindPrevious()
{
    return find(true);
}

bool TFindBar::find(bool backward)
{
    const QString text = FindEdit->text();
    if (text.isEmpty()) {
        showFound(true);
        return false;
    }
    QTextDocument::FindFlags flags;
    if (backward)
        flags |= QTextDocument::FindBackward;
    QTextDocument* doc = FPane->document();
    QTextCursor found = doc->find(text, FPane->textCursor(), flags);
    if (found.isNull()) {
        QTextCursor from(doc);
        from.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        found = doc->find(text, from, flags);
    }
    showFound(!found.isNull());
    if (found.isNull())
        return false;
    FPane->setTextCursor(found);
    FPane->ensureCursorVisible();
    return true;
}

// Every match gets a yellow background, up to kMaxMarks: a word found in
// every line of a long conversation must not stall the window.
void TFindBar::mark()
{
    QList<QTextEdit::ExtraSelection> marks;
    const QString text = FindEdit->text();
    if (!text.isEmpty()) {
        QTextCharFormat yellow;
        yellow.setBackground(QColor(255, 240, 100));
        QTextCursor c(FPane->document());
        while (marks.size() < kMaxMarks) {
            c = FPane->document()->find(text, c);
            if (c.isNull())
                break;
            marks.append({c, yellow});
        }
    }
    FMarks = static_cast<int>(marks.size());
    FPane->setExtraSelections(marks);
}

void TFindBar::showFound(bool found)
{
    QPalette pal = FindEdit->palette();
    pal.setColor(QPalette::Base, found ? Qt::white : QColor(255, 200, 200));
    FindEdit->setPalette(pal);
}

bool TFindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FindEdit && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            find(key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

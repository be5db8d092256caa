// The window's side of the chat: what the chat asks of the screen.
#include "mainwindow.h"

#include "connectdialog.h"
#include "questiondialog.h"
#include "dialogs.h"
#include "modaldialog.h"
#include "sjis.h"
#include "errorbox.h"

#include <QScrollBar>
#include <QTimer>

void TTWSChatForm::ShowRoster(const std::array<std::string, 9>& names, const std::string& caption)
{
    // Named participants in label order from 84 pixels, 12 apart; free
    // places wait outside the strip.
    int left = 84;
    for (int i = 0; i < 9; ++i) {
        QLabel* l = lbName[static_cast<size_t>(i)];
        l->setText(sjis::decode(names[static_cast<size_t>(i)]));
        l->adjustSize();
        if (names[static_cast<size_t>(i)].empty()) {
            l->move(-10, 7);
        } else {
            l->move(left, 7);
            left += l->width() + 12;
        }
    }
    Label1->setText(sjis::decode(caption));
    Label1->adjustSize();
}

void TTWSChatForm::SetConnectEnabled(bool enabled) { K8->setEnabled(enabled); }

void TTWSChatForm::SetDisconnectEnabled(bool enabled) { K9->setEnabled(enabled); }

void TTWSChatForm::SetMessageEditEnabled(bool enabled) { MessageEdit->setEnabled(enabled); }

void TTWSChatForm::FocusMessageEdit() { MessageEdit->setFocus(); }

int TTWSChatForm::AskQuestion(const std::string& text)
{
    Dialog->Clear();
    Dialog->Add(text);
    return Dialog->ShowModal();
}

void TTWSChatForm::ShowError(const std::string& text)
{
    Form4->SetMessage(text);
    Form4->ShowModal();
}

int TTWSChatForm::RunConnectDialog(std::string& target)
{
    const int result = fmConnect->ShowModal();
    if (result == mrOk)
        target = fmConnect->Text();
    return result;
}

std::string TTWSChatForm::MessageText() { return sjis::encode(MessageEdit->text()); }

void TTWSChatForm::ClearMessageText() { MessageEdit->clear(); }

void TTWSChatForm::AddLine(const std::string& text)
{
    // "\r\n" inside a text starts a further line of the pane.
    size_t start = 0;
    for (;;) {
        const size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // A chat line keeps the CR its sender put before the line feed; it
        // is not shown, and the log ends every line with its own CR LF.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        FLines.push_back(line);
        if (!FPending.isNull())
            FPending += QLatin1Char('\n');
        else
            FPending = QStringLiteral("");
        FPending += sjis::decode(line);
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    DisplayMemoChange();
    if (!FFlushQueued) {
        FFlushQueued = true;
        QTimer::singleShot(0, this, [this] { FlushPane(); });
    }
}

void TTWSChatForm::FlushPane()
{
    FFlushQueued = false;
    if (FPending.isNull())
        return;
    DisplayMemo->appendPlainText(FPending);
    FPending = QString();
    QScrollBar* bar = DisplayMemo->verticalScrollBar();
    bar->setValue(bar->maximum());
}

// The window's side of the chat: what the chat asks of the screen.
#include "mainwindow.h"

#include "appearance.h"
#include "groupwordui.h"
#include "keychangedialog.h"
#include "texts.h"

#include "connectdialog.h"
#include "questiondialog.h"
#include "dialogs.h"
#include "modaldialog.h"
#include "sjis.h"
#include "texts.h"
#include "errorbox.h"

void TTWSChatForm::ShowRoster(const std::array<std::string, 9>& names, const std::string& caption)
{
    // Named participants in label order from 84 pixels, 12 apart; free
    // places wait outside the strip. A member linked in the clear keeps its
    // name as it is and gets the mark after it, told by its tip and
    // description too.
    int left = 84;
    for (size_t i = 0; i < 9; ++i) {
        QLabel* l = lbName[i];
        l->setText(sjis::decode(names[i]));
        l->adjustSize();
        // A free place is also hidden, so a screen reader skips it.
        l->setVisible(!names[i].empty());
        const bool plain = FPlain[i] && !names[i].empty();
        const QString said = plain ? sjis::decode(txt::kLinkPlain) : QString();
        l->setToolTip(said);
        l->setAccessibleDescription(said);
        lbPlain[i]->setVisible(plain);
        if (names[i].empty()) {
            l->move(-10, 7);
            continue;
        }
        l->move(left, 7);
        left += l->width() + (plain ? 2 : 12);
        if (plain) {
            lbPlain[i]->move(left, 7 + (l->height() - lbPlain[i]->height()) / 2);
            left += lbPlain[i]->width() + 12;
        }
    }
    Label1->setText(sjis::decode(caption));
    Label1->adjustSize();
}

void TTWSChatForm::ShowLinks(const std::array<bool, 9>& plain, TOwnLink own)
{
    FPlain = plain;
    Image1->setPixmap(look::statusPicture(own));
    const QString said = own == TOwnLink::None
        ? QString()
        : sjis::decode(own == TOwnLink::Encrypted ? txt::kLinkEncrypted : txt::kLinkPlain);
    Image1->setToolTip(said);
    Image1->setAccessibleDescription(said);
}

void TTWSChatForm::ShowConnectOffered(bool offered)
{
    K8->setEnabled(offered);
    K9->setEnabled(!offered);
}

void TTWSChatForm::ShowTalking(bool talking)
{
    SetMessageEditEnabled(talking);
}

void TTWSChatForm::ShowFirstSeatTaken()
{
    FocusMessageEdit();
}

void TTWSChatForm::SetMessageEditEnabled(bool enabled)
{
    // Called on every roster change: only the change from disabled moves
    // the focus, so a line being typed is never disturbed.
    const bool was = MessageEdit->isEnabled();
    const bool hadFocus = MessageEdit->hasFocus() || focusWidget() == MessageEdit;
    MessageEdit->setEnabled(enabled);
    if (enabled && !was)
        FocusMessageEdit();
    else if (!enabled && hadFocus)
        DisplayMemo->setFocus(); // not the send button: Space there would press it
}

void TTWSChatForm::FocusMessageEdit()
{
    // The user's typing goes to the input box, unless another text box
    // (the find bar's) holds it. Moving in selects the whole text; in a
    // window that is not active it chooses where the focus goes when it is.
    if (MessageEdit->isEnabled() && focusWidget() != MessageEdit && !typingElsewhere()) {
        MessageEdit->setFocus();
        MessageEdit->selectAll();
    }
}

bool TTWSChatForm::typingElsewhere() const
{
    const QWidget* f = focusWidget();
    if (!f || f == MessageEdit || !f->isVisible() || !f->isEnabled())
        return false;
    if (qobject_cast<const QLineEdit*>(f))
        return true;
    const auto* text = qobject_cast<const QPlainTextEdit*>(f);
    return text && !text->isReadOnly();
}

TModalResult TTWSChatForm::AskQuestion(const std::string& text)
{
    if (answeredBySetting(text))
        return mrOk;
    emit QuestionAsked(text);
    Dialog->Clear();
    Dialog->Add(text);
    return TModalResult(Dialog->ShowModal());
}

TModalResult TTWSChatForm::AskKeyChange(const std::string& address, const std::string& pinned, const std::string& shown)
{
    emit QuestionAsked(txt::kKeyChangeCaption);
    TfmKeyChange dialog(this);
    dialog.SetKeys(address, pinned, shown);
    return TModalResult(dialog.ShowModal());
}

void TTWSChatForm::ShowError(const std::string& text)
{
    Form4->SetMessage(text);
    Form4->ShowModal();
}

TModalResult TTWSChatForm::RunConnectDialog(std::string& target)
{
    fmConnect->SetHistory(FRecent);
    const auto result = TModalResult(fmConnect->ShowModal());
    if (result == mrOk) {
        target = fmConnect->Text();
        rememberAddress(sjis::decode(target));
    }
    return result;
}

bool TTWSChatForm::AskWord(const std::string& hub)
{
    return WordUi && WordUi->AskWord(hub);
}

void TTWSChatForm::ShowWordRefused(const std::string& hub)
{
    if (WordUi)
        WordUi->WordRefused(hub);
}

std::string TTWSChatForm::MessageText()
{
    return sjis::encode(MessageEdit->text());
}

void TTWSChatForm::ShowEvent(const TChatEvent& event)
{
    Conversation->Add(event);
    emit EventShown(event);
}

void TTWSChatForm::FlushPane()
{
    Conversation->Flush();
}

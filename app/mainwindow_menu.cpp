// The menu commands of the main window, and the send button.
#include "mainwindow.h"

#include "dialogs.h"
#include "flatbutton.h"
#include "exception.h"
#include "modaldialog.h"
#include "helpviewer.h"
#include "inputcheck.h"
#include "ownaddress.h"
#include "sjis.h"
#include "statusdialog.h"
#include "texts.h"
#include "aboutbox.h"
#include "namedialog.h"
#include "savednote.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QProgressDialog>

#include <algorithm>

void TTWSChatForm::K5Click()
{
    // A long conversation takes a while to copy: a progress dialog shows
    // after a moment, the chat goes on meanwhile (lines that arrive are left
    // for the next save), and cancelling leaves no file and no error.
    constexpr int kSteps = 1000;
    QProgressDialog progress(sjis::decode(txt::kLogSaving), sjis::decode(txt::kLogSaveCancel), 0, kSteps, this);
    progress.setWindowTitle(sjis::decode(txt::kAppCaption));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(SaveProgressDelayMs);
    progress.setAutoReset(false);
    const auto step = [&progress](qint64 done, qint64 total) {
        progress.setValue(static_cast<int>(done * kSteps / std::max<qint64>(total, 1)));
        return !progress.wasCanceled();
    };
    const qint64 lines = Conversation->Lines();
    QString path;
    try {
        path = FLog.Save([&](QIODevice& out) { return Conversation->WriteLog(out, FShowTimes, step); },
                         QDateTime::currentDateTime());
    } catch (const Exception&) {
        if (progress.wasCanceled())
            return;
        throw;
    }
    Conversation->MarkSaved(lines);
    SavedNote->Show(QFileInfo(path).absoluteFilePath());
}

void TTWSChatForm::K10Click()
{
    if (!FHelp)
        FHelp = new THelpViewer(this);
    FHelp->ShowContents(THelpViewer::HelpFile());
}

void TTWSChatForm::SendButtonClick()
{
    // A character the wire cannot carry would arrive as "?": nothing is
    // sent, the box keeps the line, and the note says which and why.
    if (FInputCheck->Refused()) {
        showUnsendable(FInputCheck->Note());
        FocusMessageEdit();
        return;
    }
    if (Chat->Say(MessageText()))
        MessageEdit->clear(); // said: the box is ready for the next line
    // A click on 発言 took the focus: give it back to the box, so the next
    // line is typed there and a Space cannot send again.
    if (SendButton->hasFocus() || focusWidget() == SendButton)
        FocusMessageEdit();
}

void TTWSChatForm::KIP1Click()
{
    fmStatus->SetOwnAddress(SirSock1->SelfIPAddress());
    fmStatus->SetConnectedTo(Chat->StatusConnectedText());
    fmStatus->SetNextCandidate(Chat->StatusNextText());
    const TOwnLink own = Chat->OwnLink();
    fmStatus->SetLinkState(own == TOwnLink::None            ? std::string()
                               : own == TOwnLink::Encrypted ? txt::kLinkEncrypted
                                                            : txt::kLinkPlain);
    fmStatus->SetKeys(Chat->HubFingerprint(), Chat->Encrypt.own);
    fmStatus->ShowModal();
}

void TTWSChatForm::K4Click()
{
    Form3->SetName(Chat->Name);
    if (Form3->ShowModal() == mrOk) {
        // The name goes on the wire too: refused whole, as a line is.
        const QString bad = NameCharacters(sjis::unencodable(Form3->NameEdit->text()));
        if (!bad.isEmpty()) {
            const QString note = sjis::decode(txt::kUnsendableName).arg(bad);
            SavedNote->ShowText(QString(note).replace(QLatin1String("\r\n"), QLatin1String("\n")), QString());
            return;
        }
        Chat->Name = Form3->Name();
        NameLabel->setText(sjis::decode(Chat->Name));
        settingsChanged();
    }
}

void TTWSChatForm::K8Click()
{
    Chat->K8Click();
}

void TTWSChatForm::K9Click()
{
    Chat->K9Click();
}

void TTWSChatForm::Label2Click()
{
    ver->ShowModal();
}

void TTWSChatForm::K6Click()
{
    close();
}

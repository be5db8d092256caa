// The menu commands of the main window, and the send button.
#include "mainwindow.h"

#include "dialogs.h"
#include "modaldialog.h"
#include "helpviewer.h"
#include "ownaddress.h"
#include "sjis.h"
#include "statusdialog.h"
#include "aboutbox.h"
#include "namedialog.h"
#include "savednote.h"

#include <QFileInfo>

void TTWSChatForm::K5Click()
{
    const QString path = FLog.Save([this](QIODevice& out) { return Conversation->WriteLog(out, FShowTimes); },
                                   QDateTime::currentDateTime());
    K5->setEnabled(false);
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
    Chat->SendButtonClick();
}

void TTWSChatForm::KIP1Click()
{
    fmStatus->SetOwnAddress(SirSock1->SelfIPAddress());
    fmStatus->SetConnectedTo(Chat->StatusConnectedText());
    fmStatus->SetNextCandidate(Chat->StatusNextText());
    fmStatus->ShowModal();
}

void TTWSChatForm::K4Click()
{
    Form3->SetName(Chat->Name);
    if (Form3->ShowModal() == mrOk) {
        Chat->Name = Form3->Name();
        NameLabel->setText(sjis::decode(Chat->Name));
    }
}

void TTWSChatForm::K8Click() { Chat->K8Click(); }

void TTWSChatForm::K9Click() { Chat->K9Click(); }

void TTWSChatForm::Label2Click()
{
    ver->ShowModal();
}

void TTWSChatForm::K6Click()
{
    close();
}

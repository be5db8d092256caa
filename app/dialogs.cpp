#include "dialogs.h"

#include "connectdialog.h"
#include "questiondialog.h"
#include "statusdialog.h"
#include "aboutbox.h"
#include "namedialog.h"
#include "errorbox.h"

QPointer<Tver> ver;
QPointer<TForm3> Form3;
QPointer<TForm4> Form4;
QPointer<TfmConnect> fmConnect;
QPointer<TfmStatus> fmStatus;
QPointer<TDialog> Dialog;

void CreateDialogs(QWidget* owner, const TSirSock* sirSock)
{
    ver = new Tver(owner);
    Form3 = new TForm3(owner);
    Form4 = new TForm4(owner);
    fmConnect = new TfmConnect(Form4, sirSock, owner);
    fmStatus = new TfmStatus(owner);
    Dialog = new TDialog(owner);
}

#include "dialogs.h"

#include "connectdialog.h"
#include "questiondialog.h"
#include "statusdialog.h"
#include "aboutbox.h"
#include "namedialog.h"
#include "errorbox.h"

Tver* ver = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;
TfmConnect* fmConnect = nullptr;
TfmStatus* fmStatus = nullptr;
TDialog* Dialog = nullptr;

void CreateDialogs(QWidget* owner, const TSirSock* sirSock)
{
    ver = new Tver(owner);
    Form3 = new TForm3(owner);
    Form4 = new TForm4(owner);
    fmConnect = new TfmConnect(Form4, sirSock, owner);
    fmStatus = new TfmStatus(owner);
    Dialog = new TDialog(owner);
    // Forget them with their owner, so a later window never sees stale ones.
    QObject::connect(owner, &QObject::destroyed, [] {
        ver = nullptr;
        Form3 = nullptr;
        Form4 = nullptr;
        fmConnect = nullptr;
        fmStatus = nullptr;
        Dialog = nullptr;
    });
}

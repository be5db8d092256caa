#include "dialogs.h"

#include "connect.h"
#include "dialog1.h"
#include "status.h"
#include "unit2.h"
#include "unit3.h"
#include "unit4.h"

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

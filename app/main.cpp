// Program start: the main window first (it becomes the main window because
// it is created first), then the six dialogs, then the event loop. The
// window shows itself last, which opens the listener.
#include "application.h"
#include "dialogs.h"
#include "exception.h"
#include "justone.h"
#include "mainwindow.h"
#include "unattended.h"

TTWSChatForm* TWSChatForm = nullptr;

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    try {
        TTWSChatForm form(QCoreApplication::arguments().value(1));
        // Another instance of this executable runs: its guard has posted the
        // quit request; end quietly without showing anything.
        if (!form.JustOne1->MutexCreated)
            return 0;
        TWSChatForm = &form;
        CreateDialogs(&form, form.SirSock1);
        StartUnattended(form);
        form.show();
        app.exec();
        TWSChatForm = nullptr;
    } catch (const Exception& e) {
        TApplication::ShowException(e.Message());
    }
    return 0;
}

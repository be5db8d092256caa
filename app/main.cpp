// Program start: the main window first (it becomes the main window because
// it is created first), then the six dialogs, then the event loop.
#include "application.h"
#include "exception.h"
#include "twschat1.h"

TTWSChatForm* TWSChatForm = nullptr;

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    try {
        TTWSChatForm form(QCoreApplication::arguments().value(1));
        TWSChatForm = &form;
        form.show();
        const int rc = app.exec();
        TWSChatForm = nullptr;
        (void)rc;
    } catch (const Exception& e) {
        TApplication::ShowException(e.Message());
    }
    return 0;
}

#include "application.h"

#include "exception.h"
#include "sjis.h"
#include "texts.h"

#include <QMessageBox>

std::function<void(const std::string&)> TApplication::ExceptionReporter;

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const Exception& e) {
        ShowException(e.Message());
    } catch (const std::exception& e) {
        ShowException(e.what());
    }
    return false;
}

void TApplication::ShowException(const std::string& message)
{
    if (ExceptionReporter) {
        ExceptionReporter(message);
        return;
    }
    QMessageBox box(QMessageBox::Critical, sjis::decode(txt::kAppCaption), sjis::decode(message),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

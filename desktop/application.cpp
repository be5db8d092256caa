#include "application.h"

#include "exception.h"
#include "loopwatch.h"
#include "sjis.h"
#include "texts.h"
#include "wsocket.h"

#include <QMessageBox>

std::function<void(const std::string&)> TApplication::ExceptionReporter;

namespace {

void Report(const std::exception& e)
{
    TApplication::ShowException(TApplication::MessageOf(e));
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The socket component catches what escapes its event handlers at its
    // notification dispatch; it is reported here like any other failure.
    WSocketExceptionHandler = Report;
    TLoopWatch::Start();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    struct Depth {
        int& d;
        explicit Depth(int& depth) : d(depth) { ++d; }
        ~Depth() { --d; }
    } depth(FDepth);
    if (FDepth > 1 || !TLoopWatch::On())
        return notifyGuarded(receiver, event);
    const int64_t begin = TLoopWatch::Begin();
    const bool result = notifyGuarded(receiver, event);
    TLoopWatch::End(begin);
    return result;
}

bool TApplication::notifyGuarded(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        Report(e);
    }
    return false;
}

std::string TApplication::MessageOf(const std::exception& e)
{
    if (const auto* own = dynamic_cast<const Exception*>(&e))
        return own->Message();
    return e.what();
}

void TApplication::ShowException(const std::string& message)
{
    if (ExceptionReporter) {
        ExceptionReporter(message);
        return;
    }
    QString text = sjis::decode(message);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Critical, sjis::decode(txt::kAppCaption), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

#pragma once
// The application object. It catches every exception that escapes an event,
// timer, menu or socket handler, shows its message and goes on with the next
// event: Qt does not allow exceptions across its event loop, and nothing a
// peer sends may end the program.

#include <QApplication>

#include <exception>
#include <functional>
#include <string>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows a CP932 message in a message box.
    static void ShowException(const std::string& message);
    // The CP932 message of any exception: our own carry one, others their what().
    static std::string MessageOf(const std::exception& e);

    // Tests replace the message box with a recorder.
    static std::function<void(const std::string&)> ExceptionReporter;

private:
    bool notifyGuarded(QObject* receiver, QEvent* event);
    int FDepth = 0; // nested dispatches (modal loops, sendEvent)
};

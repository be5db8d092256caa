#include "unattended.h"

#include "application.h"
#include "mainwindow.h"
#include "modaldialog.h"
#include "questiondialog.h"
#include "sjis.h"

#include <cstdio>

namespace {

void note(const QString& text)
{
    std::fprintf(stderr, "unattended: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace

bool StartUnattended(TTWSChatForm&)
{
    const QString mode = qEnvironmentVariable("PELMORA_UNATTENDED").trimmed().toLower();
    if (mode.isEmpty())
        return false;
    const bool yes = mode != QLatin1String("no");

    TModalDialog::Answerer = [yes](QDialog* d) {
        if (auto* question = qobject_cast<TDialog*>(d)) {
            QString text = sjis::decode(question->Text());
            text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
            note(QStringLiteral("asked: ") + text);
            note(yes ? QStringLiteral("answered: yes") : QStringLiteral("answered: no"));
            return int(yes ? mrOk : mrNo);
        }
        note(QStringLiteral("dismissed: ") + d->windowTitle());
        return int(mrOk);
    };
    TApplication::ExceptionReporter = [](const std::string& message) {
        QString text = sjis::decode(message);
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        note(QStringLiteral("error: ") + text);
    };
    return true;
}

void SaveLogUnattended(TTWSChatForm& form)
{
    try {
        form.K5Click();
        note(QStringLiteral("log saved"));
    } catch (const std::exception& e) {
        TApplication::ShowException(TApplication::MessageOf(e));
    }
}

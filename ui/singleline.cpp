#include "singleline.h"

#include <QLineEdit>
#include <QValidator>

#include <algorithm>

namespace {

// The line edit asks the validator after every change, with the cursor just
// behind what was inserted; a changed text replaces the edit's own.
class TSingleLineValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override
    {
        const auto isBreak = [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); };
        const auto first = std::find_if(input.cbegin(), input.cend(), isBreak);
        if (first == input.cend())
            return Acceptable;
        const int cut = static_cast<int>(first - input.cbegin());
        // The inserted text ends at the cursor: drop its part from the break
        // on; a break behind the cursor (a programmatic text) ends the text.
        QString kept = input.left(cut);
        if (pos > cut)
            kept += input.mid(pos);
        kept.truncate(static_cast<int>(std::find_if(kept.cbegin(), kept.cend(), isBreak) - kept.cbegin()));
        input = kept;
        pos = std::min(cut, static_cast<int>(input.size()));
        return Acceptable;
    }
};

} // namespace

void makeSingleLine(QLineEdit* edit)
{
    edit->setValidator(new TSingleLineValidator(edit));
}

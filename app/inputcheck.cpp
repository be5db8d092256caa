#include "inputcheck.h"

#include "sjis.h"
#include "texts.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTextCharFormat>

#include <map>

namespace {

// Characters of the newer standards whose everyday form CP932 does hold.
const std::map<char32_t, char32_t> kVariants = {
    {U'鷗', U'鴎'}, {U'\U00020BB7', U'吉'}, {U'剝', U'剥'}, {U'頰', U'頬'}, {U'塡', U'填'}, {U'俱', U'倶'},
    {U'屛', U'屏'}, {U'搔', U'掻'},         {U'摑', U'掴'}, {U'潑', U'溌'}, {U'瘦', U'痩'}, {U'醬', U'醤'},
    {U'繫', U'繋'}, {U'蟬', U'蝉'},         {U'姸', U'妍'}, {U'幷', U'并'}, {U'𠮟', U'叱'}, {U'﨑', U'崎'},
};

QString fromCodePoint(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

} // namespace

QString NameCharacters(const std::u32string& characters)
{
    QStringList named;
    for (char32_t c : characters)
        named << fromCodePoint(c);
    return named.join(QLatin1Char(' '));
}

QString LookAlike(const QString& character)
{
    const auto ucs4 = character.toUcs4();
    if (ucs4.size() != 1)
        return QString();
    const auto known = kVariants.find(ucs4.front());
    QString alike;
    if (known != kVariants.end()) {
        alike = fromCodePoint(known->second);
    } else {
        // A compatibility form (full-width or circled variants, ligatures)
        // or a letter with an accent: its plain form, marks dropped.
        alike = character.normalized(QString::NormalizationForm_KD);
        alike.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
        alike = alike.normalized(QString::NormalizationForm_KC);
    }
    if (alike.isEmpty() || alike == character || !sjis::unencodable(alike).empty())
        return QString();
    return alike;
}

TInputCheck::TInputCheck(QLineEdit* edit) : QObject(edit), FEdit(edit)
{
    connect(edit, &QLineEdit::textChanged, this, [this] { check(); });
    check();
}

void TInputCheck::check()
{
    QStringList bad;
    for (char32_t c : sjis::unencodable(FEdit->text()))
        bad << fromCodePoint(c);
    const bool changed = bad != FBad;
    FBad = bad;
    mark();
    FEdit->setToolTip(FBad.isEmpty() ? QString() : sjis::decode(txt::kUnsendableTip).arg(Named()));
    if (changed)
        emit Changed();
}

// QLineEdit shows formats only through the input method's channel: an
// event without text that carries them, relative to the cursor. It is sent
// after each change of the text, never while a composition is open (the
// text does not change then).
void TInputCheck::mark()
{
    // Nothing marked and nothing to mark: the box is left alone.
    if (FBad.isEmpty() && !FMarked)
        return;
    FMarked = !FBad.isEmpty();
    QTextCharFormat wavy;
    wavy.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    wavy.setUnderlineColor(Qt::red);
    wavy.setForeground(QColor(0xB0, 0, 0));
    QList<QInputMethodEvent::Attribute> marks;
    const QString text = FEdit->text();
    const int cursor = FEdit->cursorPosition();
    for (int i = 0; i < text.size();) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        if (FBad.contains(text.mid(i, length)))
            marks << QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, i - cursor, length, wavy);
        i += length;
    }
    QInputMethodEvent event(QString(), marks);
    QCoreApplication::sendEvent(FEdit, &event);
}

QString TInputCheck::Named() const
{
    return FBad.join(QLatin1Char(' '));
}

bool TInputCheck::Offers() const
{
    for (const QString& c : FBad)
        if (!LookAlike(c).isEmpty())
            return true;
    return false;
}

QString TInputCheck::Note() const
{
    QString note = sjis::decode(txt::kUnsendableNote).arg(Named());
    QStringList offers;
    for (const QString& c : FBad) {
        const QString alike = LookAlike(c);
        if (!alike.isEmpty())
            offers << c + QStringLiteral("→") + alike;
    }
    if (!offers.isEmpty())
        note += QLatin1Char('\n') + sjis::decode(txt::kUnsendableOffer).arg(offers.join(QLatin1Char(' ')));
    return note.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

bool TInputCheck::ReplaceLookAlikes()
{
    QString text = FEdit->text();
    bool replaced = false;
    for (const QString& c : FBad) {
        const QString alike = LookAlike(c);
        if (!alike.isEmpty()) {
            text.replace(c, alike);
            replaced = true;
        }
    }
    if (replaced) {
        // One undo step brings the original back.
        FEdit->selectAll();
        FEdit->insert(text);
    }
    return replaced;
}

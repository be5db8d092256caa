#pragma once
// TInputCheck: what the wire cannot carry, shown before it is sent.
//
// Watches an edit box whose text goes on the wire as CP932. As characters are
// typed or pasted, those CP932 lacks (emoji, 𠮷, 鷗, ...) are underlined in
// red and named in the box's tooltip; Refused() tells whether the text must
// not be sent, and why, in a note the window shows. Where a clear look-alike
// exists (鷗 → 鴎, 𠮷 → 吉, compatibility forms, letters with accents) the
// note offers it, and ReplaceLookAlikes() puts them in: the user asks for
// it with one key, nothing is replaced silently.
//
//   auto* check = new TInputCheck(MessageEdit);
//   if (check->Refused()) { show(check->Note()); return; }

#include <QObject>
#include <QString>
#include <QStringList>

#include <string>

class QLineEdit;

class TInputCheck : public QObject {
    Q_OBJECT
public:
    explicit TInputCheck(QLineEdit* edit);

    // The box holds a character CP932 lacks.
    bool Refused() const { return !FBad.isEmpty(); }
    // Those characters, each once, separated by spaces.
    QString Named() const;
    // What the window says when the line is refused: which characters, why,
    // and the replacement on offer (if any).
    QString Note() const;
    // Some refused character has a look-alike.
    bool Offers() const;
    // Replaces every character that has a look-alike; true if any was.
    bool ReplaceLookAlikes();

signals:
    // The set of refused characters changed (to none as well).
    void Changed();

private:
    void check();
    void mark();

    QLineEdit* FEdit;
    QStringList FBad;
    bool FMarked = false;
};

// The characters, separated by spaces.
QString NameCharacters(const std::u32string& characters);

// The usual look-alike of a character CP932 lacks (one code point, as text),
// or an empty string where none is clear.
QString LookAlike(const QString& character);

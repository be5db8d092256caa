#include "knownhubs.h"
#include "privatefile.h"

#include <QStandardPaths>

#include <cctype>
#include <string_view>

namespace {

// The address of a line "address fingerprint", empty for any other line.
std::string_view addressOf(std::string_view line, std::string_view* fingerprint)
{
    const size_t space = line.find(' ');
    if (space == 0 || space == std::string_view::npos)
        return {};
    *fingerprint = line.substr(space + 1);
    return line.substr(0, space);
}

bool isAddress(const std::string& text)
{
    if (text.empty() || text.size() > 255)
        return false;
    for (unsigned char c : text)
        if (!std::isgraph(c))
            return false;
    return true;
}

// Each line of the file's text, without its LF.
template <class F>
void forEachLine(std::string_view rest, F&& onLine)
{
    while (!rest.empty()) {
        const size_t lf = rest.find('\n');
        onLine(rest.substr(0, lf));
        rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
    }
}

} // namespace

std::string TKnownHubs::DefaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() + "/pelmora/known_hubs";
}

bool TKnownHubs::IsFingerprint(const std::string& text)
{
    if (text.size() != 32 * 3 - 1)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 3 == 2 ? c != ':' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

std::string TKnownHubs::Lookup(const std::string& address) const
{
    std::string text;
    if (!ReadSmallFile(FPath, text))
        return {};
    std::string found;
    forEachLine(text, [&](std::string_view line) {
        std::string_view fingerprint;
        if (found.empty() && addressOf(line, &fingerprint) == address)
            found = std::string(fingerprint);
    });
    return found;
}

TKnownHubs::TTrust TKnownHubs::Meet(const std::string& address, const std::string& fingerprint)
{
    if (!isAddress(address) || !IsFingerprint(fingerprint))
        return TTrust::Failed;
    const std::string pinned = Lookup(address);
    if (pinned.empty())
        return Pin(address, fingerprint) ? TTrust::New : TTrust::Failed;
    return pinned == fingerprint ? TTrust::Known : TTrust::Changed;
}

bool TKnownHubs::Pin(const std::string& address, const std::string& fingerprint)
{
    if (!isAddress(address) || !IsFingerprint(fingerprint))
        return false;
    std::string out = without(address, nullptr);
    out += address + ' ' + fingerprint + '\n';
    return WritePrivateFile(FPath, out);
}

std::string TKnownHubs::Forget(const std::string& address)
{
    std::string removed;
    const std::string out = without(address, &removed);
    if (removed.empty() || !WritePrivateFile(FPath, out))
        return {};
    return removed;
}

std::string TKnownHubs::without(const std::string& address, std::string* removed) const
{
    std::string text, out;
    ReadSmallFile(FPath, text);
    forEachLine(text, [&](std::string_view line) {
        std::string_view old;
        if (addressOf(line, &old) != address)
            (out += line) += '\n';
        else if (removed && removed->empty())
            *removed = std::string(old);
    });
    return out;
}

#pragma once
// The system's fixed Japanese texts as CP932 byte constants.
//
// Every caption, message, question and chat note that the program shows or
// sends is listed once in one of the texts_*.def files beside this header,
// as CP932 bytes together with its UTF-8 form (the latter only for tests and
// for reading the source). Add entries with scripts/sjis-literal.py.

#include <string>
#include <vector>

namespace txt {

#define PELMORA_TEXT(name, sjis, utf8) extern const std::string name;
#include "texts_app.def"
#include "texts_chat.def"
#include "texts_net.def"
#include "texts_ui.def"
#include "texts_desktop.def"
#include "texts_hub.def"
#include "texts_member.def"
#undef PELMORA_TEXT

struct Entry {
    const char* name;
    const std::string* sjis;
    const char* utf8;
};

// Every constant above, for the round-trip tests.
const std::vector<Entry>& all();

} // namespace txt

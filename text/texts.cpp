#include "texts.h"

namespace txt {

#define PELMORA_TEXT(name, sjis, utf8) const std::string name(sjis, sizeof(sjis) - 1);
#include "texts_app.def"
#include "texts_chat.def"
#include "texts_net.def"
#include "texts_ui.def"
#include "texts_desktop.def"
#include "texts_hub.def"
#include "texts_member.def"
#undef PELMORA_TEXT

const std::vector<Entry>& all()
{
    static const std::vector<Entry> entries = {
#define PELMORA_TEXT(name, sjis, utf8) {#name, &name, reinterpret_cast<const char*>(utf8)},
#include "texts_app.def"
#include "texts_chat.def"
#include "texts_net.def"
#include "texts_ui.def"
#include "texts_desktop.def"
#include "texts_hub.def"
#include "texts_member.def"
#undef PELMORA_TEXT
    };
    return entries;
}

} // namespace txt

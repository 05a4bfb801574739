#include "ui/main/ControlTexts.h"

#include "settings/LanguageTexts.h"

namespace quarnix {

std::optional<QString> ToolTipText(int controlId) {
    switch (controlId) {
    case 1254:
        return Text(u"HINT", u"sc");
    case 1255:
    case 1000:
    case 1183:
        return Text(u"HINT", u"tjspwj");
    case 1282:
        return Text(u"HINT", u"removeall");
    case 1099:
        return Text(u"HINT", u"hbcygwj");
    case 1114:
    case 1139:
        return Text(u"HINT", u"drop");
    case 1004:
        return Text(u"HINT", u"ksjq");
    case 1023:
    case 1024:
        return Text(u"HINT", u"zjsrsjd");
    case 1140:
        return Text(u"HINT", u"djsbzj");
    case 1149:
        return Text(u"HINT", u"szjsjqd");
    case 1154:
        return Text(u"HINT", u"szksjqd");
    case 1188:
        return Text(u"HINT", u"bf");
    default:
        return std::nullopt;
    }
}

int PresetControlId(PresetList list) {
    switch (list) {
    case PresetList::Format:
        return 1106;
    case PresetList::FrameSize:
        return 1063;
    case PresetList::FrameRate:
        return 1065;
    case PresetList::VideoQuality:
        return 1066;
    case PresetList::SampleRate:
        return 1067;
    case PresetList::AudioQuality:
        return 1070;
    case PresetList::Channels:
        return 1068;
    }
    return 0;
}

} // namespace quarnix

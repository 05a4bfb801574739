#include "ui/main/ControlTexts.h"

#include "settings/LanguageTexts.h"

#include <utility>

namespace quarnix {

namespace {

// The HINT key of each control that has a tool tip from the pack.
constexpr std::pair<int, const char16_t*> kToolTipKeys[] = {
    {1254, u"sc"},      {1255, u"tjspwj"}, {1000, u"tjspwj"},  {1183, u"tjspwj"},  {1282, u"removeall"},
    {1099, u"hbcygwj"}, {1114, u"drop"},   {1139, u"drop"},    {1004, u"ksjq"},    {1023, u"zjsrsjd"},
    {1024, u"zjsrsjd"}, {1140, u"djsbzj"}, {1149, u"szjsjqd"}, {1154, u"szksjqd"}, {1188, u"bf"},
};

constexpr std::pair<PresetList, int> kPresetControls[] = {
    {PresetList::Format, 1106},       {PresetList::FrameSize, 1063},  {PresetList::FrameRate, 1065},
    {PresetList::VideoQuality, 1066}, {PresetList::SampleRate, 1067}, {PresetList::AudioQuality, 1070},
    {PresetList::Channels, 1068},
};

} // namespace

std::optional<QString> ToolTipText(int controlId) {
    for (const auto& [id, key] : kToolTipKeys) {
        if (id == controlId) {
            return Text(u"HINT", QStringView(key));
        }
    }
    return std::nullopt;
}

int PresetControlId(PresetList list) {
    for (const auto& [presetList, id] : kPresetControls) {
        if (presetList == list) {
            return id;
        }
    }
    return 0;
}

} // namespace quarnix

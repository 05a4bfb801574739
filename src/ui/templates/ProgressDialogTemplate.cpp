#include "ui/templates/ProgressDialogTemplate.h"

#include <array>

namespace quarnix {

namespace {

using K = ControlKind;

const std::array kControls = {
    ControlTemplate{1158, K::StaticText, QRect(19, 5, 44, 8), "Static", kStyleNone, true},
    ControlTemplate{1018, K::Label, QRect(66, 5, 254, 8), "Static", kStyleNone, true},
    ControlTemplate{1011, K::ProgressBar, QRect(20, 17, 282, 14), "", kStyleNone, true},
    ControlTemplate{1159, K::StaticText, QRect(20, 36, 47, 8), "Static", kStyleNone, true},
    ControlTemplate{1019, K::Label, QRect(66, 36, 252, 8), "Static", kStyleNone, true},
    ControlTemplate{1012, K::ProgressBar, QRect(21, 47, 281, 14), "", kStyleNone, true},
    ControlTemplate{1148, K::CheckBox, QRect(21, 66, 170, 13), "Open directory when finished", kStyleTabStop,
                    true},
    ControlTemplate{1000, K::PushButton, QRect(253, 65, 50, 19), "Stop", kStyleTabStop, true},
    ControlTemplate{1082, K::PushButton, QRect(3, 31, 11, 19), "Pause", kStyleNone, false},
    ControlTemplate{1120, K::CheckBox, QRect(0, 74, 8, 10), "Show preview", kStyleDisabled, false},
    ControlTemplate{1108, K::GroupBox, QRect(0, 0, 8, 9), "", kStyleDisabled, false},
};

} // namespace

const DialogTemplate& ProgressDialogTemplate() {
    static const DialogTemplate dialog{129, QSize(324, 89), "Microsoft Sans Serif", 8, "", kControls};
    return dialog;
}

} // namespace quarnix

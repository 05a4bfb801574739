#include "ui/templates/MainDialogTemplate.h"

#include <array>

namespace quarnix {

namespace {

using K = ControlKind;
constexpr unsigned kTab = kStyleTabStop;

// Hidden controls keep an empty rectangle: they are never shown.
constexpr QRect kHidden(0, 0, 0, 0);

const std::array kControls = {
    // The file list and the buttons beside it.
    ControlTemplate{1114, K::ListView, QRect(6, 0, 316, 146), "", kTab | kStyleBorder, true},
    ControlTemplate{1180, K::Link, QRect(331, 3, 49, 8), "", kStyleNone, true},
    ControlTemplate{1255, K::ImageButton, QRect(323, 26, 64, 28), "Add", kTab, true},
    ControlTemplate{1254, K::ImageButton, QRect(323, 53, 64, 27), "Remove", kTab, true},
    ControlTemplate{1282, K::ImageButton, QRect(323, 80, 64, 31), "Remove All", kTab, true},
    // Rotation choice.
    ControlTemplate{1172, K::GroupBox, QRect(6, 158, 319, 45), "Set Rotation Degree", kStyleStaticEdge, true},
    ControlTemplate{1256, K::RadioButton, QRect(8, 178, 104, 10), "Rotate 90 degrees clockwise",
                    kTab | kStyleFirstInGroup, true},
    ControlTemplate{1007, K::RadioButton, QRect(112, 178, 106, 10), "Rotate 180 degrees clockwise",
                    kStyleNone, true},
    ControlTemplate{1008, K::RadioButton, QRect(219, 178, 103, 10), "Rotate 270 degrees clockwise",
                    kStyleNone, true},
    // The way of rotating: turn the pictures themselves, and keep Matroska as Matroska.
    ControlTemplate{1301, K::CheckBox, QRect(8, 190, 150, 10), "Turn the pictures (re-encode)", kTab, true},
    ControlTemplate{1302, K::CheckBox, QRect(160, 190, 162, 10), "Keep MKV and WebM as Matroska", kTab, true},
    // Where the outputs go instead of the output folder: in their originals' places.
    ControlTemplate{1303, K::CheckBox, QRect(6, 147, 200, 10), "Replace the originals", kTab, true},
    // Start.
    ControlTemplate{1099, K::ImageButton, QRect(331, 169, 56, 54), "Start", kTab, true},
    // Output folder.
    ControlTemplate{1276, K::StaticText, QRect(6, 216, 31, 10), "Output", kStyleNone, true},
    ControlTemplate{1077, K::SimpleCombo, QRect(39, 214, 198, 12), "",
                    kTab | kStyleSorted | kStyleVerticalScroll, true},
    ControlTemplate{1076, K::ImageButton, QRect(238, 211, 36, 17), "Browse", kTab, true},
    ControlTemplate{1286, K::ImageButton, QRect(272, 211, 57, 17), "Find Target", kTab, true},
    // Hidden controls that hold state: the output presets and the tab control.
    ControlTemplate{1106, K::DropDownList, kHidden, "", kStyleNone, false},
    ControlTemplate{1063, K::DropDownList, kHidden, "", kStyleNone, false},
    ControlTemplate{1064, K::DropDownList, kHidden, "", kStyleNone, false},
    ControlTemplate{1065, K::DropDownList, kHidden, "", kStyleNone, false},
    ControlTemplate{1066, K::DropDownList, kHidden, "", kStyleNone, false},
    ControlTemplate{1067, K::DropDownList, kHidden, "", kStyleNone, false},
    ControlTemplate{1068, K::DropDownList, kHidden, "", kStyleNone, false},
    ControlTemplate{1069, K::DropDownList, kHidden, "", kStyleNone, false},
    ControlTemplate{1070, K::DropDownList, kHidden, "", kStyleNone, false},
    ControlTemplate{1160, K::TabControl, kHidden, "", kStyleNone, false},
    // Hidden controls without visible behaviour.
    ControlTemplate{1000, K::ImageButton, kHidden, "", kStyleNone, false},
    ControlTemplate{1004, K::ImageButton, kHidden, "", kStyleNone, false},
    ControlTemplate{1149, K::ImageButton, kHidden, "", kStyleNone, false},
    ControlTemplate{1154, K::ImageButton, kHidden, "", kStyleNone, false},
    ControlTemplate{1183, K::ImageButton, kHidden, "", kStyleNone, false},
    ControlTemplate{1188, K::ImageButton, kHidden, "", kStyleNone, false},
    ControlTemplate{1140, K::Slider, kHidden, "", kStyleNone, false},
    ControlTemplate{1139, K::PictureFrame, kHidden, "", kStyleNone, false},
    ControlTemplate{1018, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1019, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1025, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1157, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1184, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1265, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1269, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1270, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1271, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1272, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1273, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1278, K::StaticText, kHidden, "", kStyleNone, false},
    ControlTemplate{1003, K::Edit, kHidden, "", kStyleNone, false},
    ControlTemplate{1023, K::Edit, kHidden, "", kStyleNone, false},
    ControlTemplate{1024, K::Edit, kHidden, "", kStyleNone, false},
    ControlTemplate{1105, K::DropDownList, kHidden, "", kStyleNone, false},
};

} // namespace

const DialogTemplate& MainDialogTemplate() {
    static const DialogTemplate dialog{102, QSize(388, 237), "MS Shell Dlg", 9, "", kControls};
    return dialog;
}

} // namespace quarnix

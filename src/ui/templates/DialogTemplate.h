// Dialog templates as tables: each control with its numeric id, kind, rectangle in dialog units, template
// text, style flags and visibility. DialogBuilder turns a table into Qt widgets named "ctl<id>".
#pragma once

#include <QRect>
#include <QSize>
#include <span>

namespace quarnix {

enum class ControlKind {
    ListView,
    ImageButton,
    PushButton,
    CheckBox,
    RadioButton,
    GroupBox,
    StaticText,
    Label,        // self-painting static text
    Link,         // static text made a hyperlink
    SimpleCombo,  // edit field with a list of earlier entries, no drop-down
    DropDownList, // read-only choice list
    TabControl,
    Slider,
    PictureFrame,
    Edit,
    ProgressBar,
};

// Style flags of the template that change behaviour here.
enum ControlStyle : unsigned {
    kStyleNone = 0,
    kStyleTabStop = 1u << 0,
    kStyleBorder = 1u << 1,
    kStyleDisabled = 1u << 2,
    kStyleSorted = 1u << 3,
    kStyleVerticalScroll = 1u << 4,
    kStyleStaticEdge = 1u << 5,
    kStyleFirstInGroup = 1u << 6, // starts a group of radio buttons
};

struct ControlTemplate {
    int id = 0;
    ControlKind kind = ControlKind::StaticText;
    QRect dialogUnits;     // left, top, width, height
    const char* text = ""; // UTF-8 template text
    unsigned styles = kStyleNone;
    bool visible = true;
};

struct DialogTemplate {
    int id = 0;
    QSize dialogUnits;
    const char* fontFamily = "";
    int fontPointSize = 9;
    const char* caption = "";
    std::span<const ControlTemplate> controls;
};

} // namespace quarnix

// Makes the Qt widgets of a dialog template: geometry from dialog units (converted with the dialog font's
// average character width and height, as Windows does), template texts, visibility, object names "ctl<id>".
#pragma once

#include "ui/templates/DialogTemplate.h"

#include <QFont>
#include <QString>
#include <QWidget>
#include <functional>

namespace quarnix {

// Horizontal and vertical dialog base units of a font, in pixels.
QSize DialogBaseUnits(const QFont& font);

// A rectangle in dialog units as pixels for the given base units.
QRect DialogUnitsToPixels(const QRect& dialogUnits, const QSize& baseUnits);

// The font that stands in for a template font: the family when installed, else the system's sans-serif.
QFont TemplateFont(const char* family, int pointSize);

// Gives a caption that would be clipped by its widget's width the condensed cut of its font and, if that
// is not enough, a smaller size (down to 7 points). Template captions are fitted when built; a caption set
// later (from the language pack) is fitted by its setter's caller.
void FitCaptionToWidth(QWidget& widget);

// The object name of a control: "ctl1114".
QString ControlObjectName(int id);

// True for the keys with which a dialog manager would close a dialog (Enter, Return, Escape); the
// program's dialogs swallow them.
bool IsDialogCloseKey(int key);

// The control of the given id among the children of the dialog, or nullptr.
template <typename T = QWidget> T* FindControl(const QWidget* dialog, int id) {
    return dialog->findChild<T*>(ControlObjectName(id));
}

class DialogBuilder {
public:
    // Returns the widget for a control, or nullptr to let the builder make its standard widget.
    using Factory = std::function<QWidget*(const ControlTemplate&, QWidget* parent)>;

    explicit DialogBuilder(Factory factory = {}) : m_factory(std::move(factory)) {}

    // Gives the dialog its font and fixed size and creates every control of the template on it.
    void Build(QWidget& dialog, const DialogTemplate& dialogTemplate) const;

    static QWidget* MakeStandardControl(const ControlTemplate& control, QWidget* parent);

private:
    Factory m_factory;
};

} // namespace quarnix

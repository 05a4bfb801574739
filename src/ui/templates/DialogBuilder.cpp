#include "ui/templates/DialogBuilder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTreeWidget>

namespace quarnix {

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // Windows: average width of the 52 Latin letters, rounded, and the font's full height.
    const int alphabet =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(alphabet / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect& dialogUnits, const QSize& baseUnits) {
    auto scale = [](int units, int base, int divisor) { return (units * base + divisor / 2) / divisor; };
    return {scale(dialogUnits.x(), baseUnits.width(), 4), scale(dialogUnits.y(), baseUnits.height(), 8),
            scale(dialogUnits.width(), baseUnits.width(), 4),
            scale(dialogUnits.height(), baseUnits.height(), 8)};
}

QFont TemplateFont(const char* family, int pointSize) {
    const QString name = QString::fromUtf8(family);
    QFont font = QFontDatabase::families().contains(name)
                     ? QFont(name)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(pointSize);
    return font;
}

bool IsDialogCloseKey(int key) {
    return key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter;
}

QString ControlObjectName(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

QWidget* DialogBuilder::MakeStandardControl(const ControlTemplate& control, QWidget* parent) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
    case ControlKind::ListView: {
        auto* list = new QTreeWidget(parent);
        list->setRootIsDecorated(false);
        return list;
    }
    case ControlKind::ImageButton:
    case ControlKind::PushButton:
        return new QPushButton(text, parent);
    case ControlKind::CheckBox:
        return new QCheckBox(text, parent);
    case ControlKind::RadioButton:
        return new QRadioButton(text, parent);
    case ControlKind::GroupBox:
        return new QGroupBox(text, parent);
    case ControlKind::StaticText:
    case ControlKind::Label:
    case ControlKind::Link:
        return new QLabel(text, parent);
    case ControlKind::SimpleCombo: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        return combo;
    }
    case ControlKind::DropDownList:
        return new QComboBox(parent);
    case ControlKind::TabControl:
        return new QTabBar(parent);
    case ControlKind::Slider:
        return new QSlider(Qt::Horizontal, parent);
    case ControlKind::PictureFrame:
        return new QLabel(parent);
    case ControlKind::Edit:
        return new QLineEdit(text, parent);
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    }
    return new QWidget(parent);
}

void FitCaptionToWidth(QWidget& widget) {
    QFont font = widget.font();
    if (widget.sizeHint().width() > widget.width()) {
        // A condensed cut of the same family first, then smaller sizes.
        font.setStretch(QFont::Condensed);
        widget.setFont(font);
    }
    while (widget.sizeHint().width() > widget.width() && font.pointSize() > 7) {
        font.setPointSize(font.pointSize() - 1);
        widget.setFont(font);
    }
}

namespace {

// The substitute font can be wider than the template's own: a caption that would be clipped is fitted.
void FitTextToRectangle(QWidget& widget, const ControlTemplate& control) {
    const bool captioned = control.kind == ControlKind::RadioButton ||
                           control.kind == ControlKind::CheckBox || control.kind == ControlKind::StaticText ||
                           control.kind == ControlKind::PushButton;
    if (!captioned || *control.text == '\0' || !control.visible) {
        return;
    }
    FitCaptionToWidth(widget);
}

} // namespace

void DialogBuilder::Build(QWidget& dialog, const DialogTemplate& dialogTemplate) const {
    const QFont font = TemplateFont(dialogTemplate.fontFamily, dialogTemplate.fontPointSize);
    dialog.setFont(font);
    const QSize base = DialogBaseUnits(font);
    dialog.setFixedSize(DialogUnitsToPixels(QRect(QPoint(0, 0), dialogTemplate.dialogUnits), base).size());
    dialog.setWindowTitle(QString::fromUtf8(dialogTemplate.caption));

    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = m_factory ? m_factory(control, &dialog) : nullptr;
        if (widget == nullptr) {
            widget = MakeStandardControl(control, &dialog);
        }
        widget->setObjectName(ControlObjectName(control.id));
        widget->setGeometry(DialogUnitsToPixels(control.dialogUnits, base));
        FitTextToRectangle(*widget, control);
        widget->setEnabled(!(control.styles & kStyleDisabled));
        widget->setFocusPolicy((control.styles & kStyleTabStop) ? Qt::StrongFocus : widget->focusPolicy());
        if (control.kind == ControlKind::RadioButton) {
            // Automatic radio buttons that follow each other form one exclusive group.
            if (radioGroup == nullptr || (control.styles & kStyleFirstInGroup)) {
                radioGroup = new QButtonGroup(&dialog);
            }
            if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
                radioGroup->addButton(radio, control.id);
            }
        } else {
            radioGroup = nullptr;
        }
        // Hidden controls stay hidden when the dialog is shown; they may still hold state.
        widget->setVisible(control.visible);
    }
}

} // namespace quarnix

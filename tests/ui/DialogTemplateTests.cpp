#include "ui/templates/DialogBuilder.h"
#include "ui/templates/MainDialogTemplate.h"
#include "ui/templates/ProgressDialogTemplate.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QFontMetrics>
#include <QRadioButton>
#include <cmath>
#include <set>

namespace quarnix {
namespace {

// Windows' MapDialogRect: x and width in quarters of the average letter width, y and height in eighths of
// the font height, each rounded half up. Computed here in floating point, apart from the builder's code.
QRect ExpectedPixels(const QRect& units, const QSize& base) {
    const auto scale = [](int value, int baseUnit, double parts) {
        return static_cast<int>(std::floor(value * baseUnit / parts + 0.5));
    };
    return {scale(units.x(), base.width(), 4.0), scale(units.y(), base.height(), 8.0),
            scale(units.width(), base.width(), 4.0), scale(units.height(), base.height(), 8.0)};
}

// The base units of a font: the width of the 52 Latin letters in one run divided by 52 and rounded half
// up, and the font's height.
QSize ExpectedBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {static_cast<int>(std::floor(letters / 52.0 + 0.5)), metrics.height()};
}

TEST(DialogUnits, ConvertWithTheFontsBaseUnits) {
    EXPECT_EQ(DialogUnitsToPixels(QRect(4, 8, 40, 16), QSize(7, 14)), QRect(7, 14, 70, 28));
    EXPECT_EQ(DialogUnitsToPixels(QRect(6, 0, 316, 146), QSize(6, 13)), QRect(9, 0, 474, 237));
    EXPECT_EQ(DialogUnitsToPixels(QRect(2, 1, 3, 3), QSize(6, 12)), QRect(3, 2, 5, 5)); // halves round up
    const QFont font = TemplateFont("MS Shell Dlg", 9);
    const QSize base = DialogBaseUnits(font);
    EXPECT_GE(base.width(), 5);
    EXPECT_GE(base.height(), 11);
    EXPECT_EQ(base, ExpectedBaseUnits(font));
}

TEST(DialogBuilder, MakesEveryControlNamedPlacedAndShownAsItsTemplateSays) {
    for (const DialogTemplate* dialogTemplate : {&MainDialogTemplate(), &ProgressDialogTemplate()}) {
        QDialog dialog;
        DialogBuilder().Build(dialog, *dialogTemplate);
        dialog.show();
        const QSize base = ExpectedBaseUnits(dialog.font());
        EXPECT_EQ(dialog.size(),
                  ExpectedPixels(QRect(QPoint(0, 0), dialogTemplate->dialogUnits), base).size());
        std::set<int> ids;
        for (const ControlTemplate& control : dialogTemplate->controls) {
            EXPECT_TRUE(ids.insert(control.id).second) << "duplicate id " << control.id;
            QWidget* widget = FindControl(&dialog, control.id);
            ASSERT_NE(widget, nullptr) << control.id;
            EXPECT_EQ(widget->isVisible(), control.visible) << control.id;
            if (control.visible) {
                EXPECT_EQ(widget->geometry(), ExpectedPixels(control.dialogUnits, base)) << control.id;
                EXPECT_TRUE(dialog.rect().contains(widget->geometry())) << control.id;
            }
        }
    }
}

TEST(DialogBuilder, RotationChoicesAreOneExclusiveGroup) {
    QDialog dialog;
    DialogBuilder().Build(dialog, MainDialogTemplate());
    auto* r90 = FindControl<QRadioButton>(&dialog, 1256);
    auto* r180 = FindControl<QRadioButton>(&dialog, 1007);
    auto* r270 = FindControl<QRadioButton>(&dialog, 1008);
    ASSERT_TRUE(r90 && r180 && r270);
    r90->setChecked(true);
    r270->setChecked(true);
    EXPECT_FALSE(r90->isChecked());
    EXPECT_FALSE(r180->isChecked());
    EXPECT_TRUE(r270->isChecked());
}

TEST(DialogBuilder, FactoryReplacesTheStandardWidget) {
    QDialog dialog;
    DialogBuilder([](const ControlTemplate& control, QWidget* parent) -> QWidget* {
        return control.id == 1099 ? new QRadioButton(parent) : nullptr;
    }).Build(dialog, MainDialogTemplate());
    EXPECT_NE(FindControl<QRadioButton>(&dialog, 1099), nullptr);
}

} // namespace
} // namespace quarnix

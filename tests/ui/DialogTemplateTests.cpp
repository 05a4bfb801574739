#include "ui/templates/DialogBuilder.h"
#include "ui/templates/MainDialogTemplate.h"
#include "ui/templates/ProgressDialogTemplate.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QRadioButton>
#include <set>

namespace quarnix {
namespace {

TEST(DialogUnits, ConvertWithTheFontsBaseUnits) {
    EXPECT_EQ(DialogUnitsToPixels(QRect(4, 8, 40, 16), QSize(7, 14)), QRect(7, 14, 70, 28));
    EXPECT_EQ(DialogUnitsToPixels(QRect(6, 0, 316, 146), QSize(6, 13)), QRect(9, 0, 474, 237));
    const QSize base = DialogBaseUnits(TemplateFont("MS Shell Dlg", 9));
    EXPECT_GE(base.width(), 5);
    EXPECT_GE(base.height(), 11);
}

TEST(DialogBuilder, MakesEveryControlNamedPlacedAndShownAsItsTemplateSays) {
    for (const DialogTemplate* dialogTemplate : {&MainDialogTemplate(), &ProgressDialogTemplate()}) {
        QDialog dialog;
        DialogBuilder().Build(dialog, *dialogTemplate);
        dialog.show();
        const QSize base = DialogBaseUnits(dialog.font());
        std::set<int> ids;
        for (const ControlTemplate& control : dialogTemplate->controls) {
            EXPECT_TRUE(ids.insert(control.id).second) << "duplicate id " << control.id;
            QWidget* widget = FindControl(&dialog, control.id);
            ASSERT_NE(widget, nullptr) << control.id;
            EXPECT_EQ(widget->isVisible(), control.visible) << control.id;
            if (control.visible) {
                EXPECT_EQ(widget->geometry(), DialogUnitsToPixels(control.dialogUnits, base)) << control.id;
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

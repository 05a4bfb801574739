// The windows in each language pack, the language menu, the keyboard and screen-reader view of the main
// window, and its resizing.
#include "EngineFixtures.h"
#include "WindowTestSupport.h"
#include "controls/CheckListCtrl.h"
#include "controls/ControlButton.h"
#include "controls/HyperLink.h"
#include "settings/LanguageTexts.h"
#include "settings/Settings.h"
#include "ui/main/TessalyDlg.h"
#include "ui/progress/AVConvertDlg.h"
#include "ui/templates/DialogBuilder.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <fstream>

namespace quarnix::test {
namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

void UseLanguage(const QString& pack) {
    ASSERT_TRUE(WriteLanguageFile(pack));
}

// The text a pack holds for a key, read from the pack file the window reads.
QString PackText(const QString& pack, const char* section, const char* key) {
    return ReadPackText(pack, section, key);
}

QString English(const QString& section, const QString& key) {
    for (const FallbackText& text : FallbackTexts()) {
        if (text.section == section && text.key == key) {
            return text.english;
        }
    }
    return QString();
}

// The control id of the widget that has the focus (the folder box's line edit counts as the box).
int FocusedControl(const QWidget& window) {
    for (QWidget* widget = window.focusWidget(); widget != nullptr; widget = widget->parentWidget()) {
        if (widget->objectName().startsWith("ctl")) {
            return widget->objectName().mid(3).toInt();
        }
    }
    return 0;
}

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
}

// Every visible control of both windows shows its pack's text, never empty, and never the English
// fallback where the pack holds the key. Statuses fit their column.
TEST(LanguageWindow, EveryPackReachesEveryVisibleControl) {
    struct Caption {
        int id;
        const char* section;
        const char* key;
    };
    const Caption mainCaptions[] = {
        {1172, "JIEMIAN", "rotation"},  {1256, "JIEMIAN", "rotate90"},   {1007, "JIEMIAN", "rotate180"},
        {1008, "JIEMIAN", "rotate270"}, {1276, "JIEMIAN", "output"},     {1255, "JIEMIAN", "add"},
        {1254, "JIEMIAN", "remove"},    {1282, "JIEMIAN", "removeall"},  {1099, "JIEMIAN", "start"},
        {1076, "JIEMIAN", "browse"},    {1286, "JIEMIAN", "findtarget"}, {1180, "JIEMIAN", "zysybrj"},
    };
    const char* headerKeys[] = {"ywj", "spgs", "spcd", "spdx", "videoquality", "zl", "zt"};
    for (const QString& pack : LanguageFileNames()) {
        SCOPED_TRACE(pack.toStdString());
        WindowTestEnvironment environment;
        UseLanguage(pack);
        CTessalyDlg window;
        window.show();
        for (const Caption& caption : mainCaptions) {
            QWidget* widget = FindControl(&window, caption.id);
            QString shown;
            if (auto* group = qobject_cast<QGroupBox*>(widget)) {
                shown = group->title();
            } else if (auto* label = qobject_cast<QLabel*>(widget)) {
                shown = label->text();
            } else {
                shown = qobject_cast<QAbstractButton*>(widget)->text();
            }
            const QString expected = PackText(pack, caption.section, caption.key);
            EXPECT_FALSE(expected.isEmpty()) << caption.key;
            EXPECT_EQ(shown, expected) << caption.key;
        }
        for (int column = 0; column < 7; ++column) {
            const QString expected = PackText(pack, "JIEMIAN", headerKeys[column]);
            EXPECT_FALSE(expected.isEmpty()) << column;
            EXPECT_EQ(window.FileList()->headerItem()->text(column), expected) << column;
        }
        if (pack != "english.ini") {
            EXPECT_NE(window.FileList()->headerItem()->text(4), "Video Quality");
            EXPECT_NE(FindControl<QRadioButton>(&window, 1256)->text(), English("JIEMIAN", "rotate90"));
        }
        // The status column holds its longest status whole.
        const QFontMetrics cells(window.FileList()->font());
        for (const char* key : {"wc", "sb"}) {
            EXPECT_GT(window.FileList()->columnWidth(6),
                      cells.horizontalAdvance(PackText(pack, "TISHI", key)) + 8)
                << key;
        }

        // The folder buttons lie side by side, clear of Start's ring, whatever width the pack's font
        // gives the dialog units.
        const QRect start = FindControl(&window, 1099)->geometry();
        const QRect browse = FindControl(&window, 1076)->geometry();
        const QRect openFolder = FindControl(&window, 1286)->geometry();
        EXPECT_FALSE(openFolder.intersects(start));
        EXPECT_FALSE(browse.intersects(openFolder));
        EXPECT_LT(FindControl(&window, 1077)->geometry().right(), browse.left());

        // A fixed message: Start with the one row unticked.
        window.AddDroppedFiles({Q(MarkerClip("mp4"))});
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Adding(); }, 30000));
        ASSERT_EQ(window.FileList()->topLevelItemCount(), 1);
        window.FileList()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        window.StartRotation();
        EXPECT_EQ(environment.Messages(), QStringList{PackText(pack, "TISHI", "selectfile")});

        CAVConvertDlg progress;
        progress.show();
        EXPECT_EQ(progress.OpenFolderBox()->text(), PackText(pack, "JIEMIAN", "openfolder"));
        EXPECT_EQ(progress.StopButton()->text(), PackText(pack, "JIEMIAN", "tz"));
        EXPECT_EQ(FindControl<QLabel>(&progress, 1158)->text(), PackText(pack, "JIEMIAN", "dqwj"));
        EXPECT_EQ(progress.FileBar()->accessibleName(), PackText(pack, "JIEMIAN", "fileprogress"));
        EXPECT_EQ(progress.BatchBar()->accessibleName(), PackText(pack, "JIEMIAN", "batchprogress"));
        if (pack != "english.ini") {
            EXPECT_NE(progress.OpenFolderBox()->text(), "Open directory when finished");
        }
        progress.close();
    }
}

// Without a language in the settings the system's language chooses the pack; the Help link's menu lists
// the six packs by their names and switches everything at once, Qt's own texts included.
TEST(LanguageWindow, TheLinkMenuSwitchesTheLanguageAtOnce) {
    WindowTestEnvironment environment;
    std::ofstream(environment.SettingsFile().toStdString())
        << "[LANGUAGE]\nname1=English\nname2=Espa\xC3\xB1ol\nname3=Deutsch\nname4=Fran\xC3\xA7"
           "ais\n"
           "name5=Italiano\nname6=\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\n";
    CTessalyDlg window;
    EXPECT_EQ(window.LanguageFile(), LanguageFileForLocale(QLocale::system()));
    EXPECT_TRUE(IniValue(environment.SettingsFile(), "LANGUAGE", "file").isEmpty()); // nothing written yet

    window.SwitchLanguage("english.ini");
    window.AddDroppedFiles({Q(MarkerClip("mp4"))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Adding(); }, 30000));

    std::unique_ptr<QMenu> menu(window.MakeLanguageMenu(&window));
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 6);
    const QStringList names = {"English",
                               "Espa\u00F1ol",
                               "Deutsch",
                               "Fran\u00E7"
                               "ais",
                               "Italiano",
                               "\u65E5\u672C\u8A9E"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(actions[i]->text(), names[i]) << i;
        EXPECT_EQ(actions[i]->isChecked(), i == 0) << i;
    }
    actions[2]->trigger();
    EXPECT_EQ(window.LanguageFile(), "german.ini");
    EXPECT_EQ(IniValue(environment.SettingsFile(), "LANGUAGE", "file"), "german.ini");
    EXPECT_EQ(window.FileList()->headerItem()->text(0), "Quelldatei");
    EXPECT_EQ(FindControl<QAbstractButton>(&window, 1255)->text(), QString::fromUtf8("Hinzufügen"));
    EXPECT_EQ(FindControl<QLabel>(&window, 1180)->text(), "Hilfe");
    EXPECT_EQ(window.FileList()->topLevelItem(0)->text(6), "Bereit"); // the listed row too
    // Qt's own buttons (the file dialog's, a message box's) follow.
    EXPECT_EQ(
        QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text().remove(u'&'),
        "Abbrechen");

    std::unique_ptr<QMenu> again(window.MakeLanguageMenu(&window));
    EXPECT_TRUE(again->actions()[2]->isChecked());
    again->actions()[5]->trigger();
    EXPECT_EQ(window.FileList()->headerItem()->text(6), QString::fromUtf8("状態"));
    again->actions()[0]->trigger();
    EXPECT_EQ(
        QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text().remove(u'&'),
        "Cancel");
}

// Every control that takes the focus has a name for screen readers; Tab follows the reading order; the
// Help link opens with Enter and with F1 from anywhere; picture buttons show the focus.
TEST(LanguageWindow, KeyboardAndScreenReadersReachEveryControl) {
    WindowTestEnvironment environment;
    CTessalyDlg window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus) &&
            widget->focusProxy() == nullptr && widget->objectName().startsWith("ctl")) {
            EXPECT_FALSE(AccessibleName(widget).isEmpty()) << widget->objectName().toStdString();
        }
    }
    EXPECT_EQ(AccessibleName(window.FileList()), "Files to rotate");
    EXPECT_EQ(AccessibleName(FindControl(&window, 1077)), "Output");
    EXPECT_EQ(AccessibleName(FindControl(&window, 1180)), "Help");

    // The rotation choice is one stop (its ticked button), as a group of radio buttons is; the arrow keys
    // move within it.
    const std::vector<int> chain = {1114, 1303, 1256, 1301, 1302, 1077, 1076,
                                    1286, 1255, 1254, 1282, 1099, 1180, 1114};
    window.FileList()->setFocus(Qt::TabFocusReason);
    std::vector<int> reached = {FocusedControl(window)};
    for (std::size_t i = 1; i < chain.size(); ++i) {
        QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
        reached.push_back(FocusedControl(window));
    }
    EXPECT_EQ(reached, chain);
    QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(FocusedControl(window), 1303);
    QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(FocusedControl(window), 1256);
    QTest::keyClick(window.focusWidget(), Qt::Key_Right);
    EXPECT_EQ(FocusedControl(window), 1007);
    QTest::keyClick(window.focusWidget(), Qt::Key_Right);
    EXPECT_EQ(FocusedControl(window), 1008);
    EXPECT_TRUE(FindControl<QRadioButton>(&window, 1008)->isChecked());
    QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(FocusedControl(window), 1301);
    QTest::keyClick(window.focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(FocusedControl(window), 1008);

    // Focus shows on a picture button.
    auto* browse = FindControl<CControlButton>(&window, 1076);
    browse->clearFocus();
    const QImage unfocused = browse->grab().toImage();
    browse->setFocus(Qt::TabFocusReason);
    EXPECT_NE(browse->grab().toImage(), unfocused);

    const QString help = FindControl<CHyperLink>(&window, 1180)->LinkAddress();
    QTest::keyClick(window.FileList(), Qt::Key_F1);
    EXPECT_EQ(environment.ShellOpened(), QStringList{help});
    auto* link = FindControl<CHyperLink>(&window, 1180);
    link->setFocus(Qt::TabFocusReason);
    QTest::keyClick(link, Qt::Key_Return);
    EXPECT_EQ(environment.ShellOpened(), (QStringList{help, help}));
    EXPECT_TRUE(window.isVisible());
    // Screen readers see a link that they can press.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(link);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Link);
    ASSERT_NE(accessible->actionInterface(), nullptr);
    accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(environment.ShellOpened().size(), 3);

    // Return presses the picture button that has the focus: Add asks for files.
    auto* add = FindControl<CControlButton>(&window, 1255);
    add->setFocus(Qt::TabFocusReason);
    environment.lastFilter.clear();
    QTest::keyClick(add, Qt::Key_Return);
    EXPECT_FALSE(environment.lastFilter.isEmpty());
}

// The window grows but never below its template; the list takes the room, the rest keeps to its edges;
// the size is remembered.
TEST(LanguageWindow, ResizingGivesTheListTheRoomAndIsRemembered) {
    WindowTestEnvironment environment;
    QSize grown;
    {
        CTessalyDlg window;
        window.show();
        const QSize smallest = window.TemplateSize();
        EXPECT_EQ(window.minimumSize(), smallest);
        EXPECT_EQ(window.size(), smallest);
        const QRect list = window.FileList()->geometry();
        const QPoint add = FindControl(&window, 1255)->pos(), start = FindControl(&window, 1099)->pos();
        const QPoint radio = FindControl(&window, 1256)->pos(), browse = FindControl(&window, 1076)->pos();
        const int folderWidth = FindControl(&window, 1077)->width();
        const int pathColumn = window.FileList()->columnWidth(0);

        window.resize(smallest + QSize(200, 100));
        EXPECT_EQ(window.FileList()->geometry(), list.adjusted(0, 0, 200, 100));
        EXPECT_EQ(FindControl(&window, 1255)->pos(), add + QPoint(200, 0));
        EXPECT_EQ(FindControl(&window, 1099)->pos(), start + QPoint(200, 100));
        EXPECT_EQ(FindControl(&window, 1256)->pos(), radio + QPoint(0, 100));
        EXPECT_EQ(FindControl(&window, 1076)->pos(), browse + QPoint(200, 100));
        EXPECT_EQ(FindControl(&window, 1077)->width(), folderWidth + 200);
        EXPECT_EQ(window.FileList()->columnWidth(0), pathColumn + 200);

        window.resize(smallest - QSize(50, 50));
        EXPECT_EQ(window.size(), smallest);
        window.resize(smallest + QSize(120, 40));
        grown = window.size();
        window.close();
    }
    EXPECT_EQ(IniValue(environment.SettingsFile(), "WINDOW", "width").toInt(), grown.width());
    CTessalyDlg reopened;
    EXPECT_EQ(reopened.size(), grown);
}

} // namespace
} // namespace quarnix::test

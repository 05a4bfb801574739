// CCheckListCtrl and CCheckHeadCtrl: the header box follows the rows and ticks or clears them all.
#include "WidgetTestHelpers.h"
#include "controls/CheckListCtrl.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace quarnix;

namespace {

constexpr int kEmptyBox = CCheckHeadCtrl::kEmptyBoxImage;
constexpr int kTickedBox = CCheckHeadCtrl::kTickedBoxImage;

// A shown list with three columns and one row per given check state.
struct ListWindow {
    CCheckListCtrl list;

    explicit ListWindow(const QList<Qt::CheckState>& rows, bool initHeader = true) {
        list.setHeaderLabels({QStringLiteral("File"), QStringLiteral("Type"), QStringLiteral("Length")});
        list.resize(400, 200);
        for (int i = 0; i < rows.size(); ++i) {
            auto* item = new QTreeWidgetItem(&list, {QStringLiteral("clip%1.mp4").arg(i)});
            item->setCheckState(0, rows[i]);
        }
        if (initHeader) {
            list.InitHeaderCheck();
        }
        quarnix::test::ShowAndExpose(list);
    }

    void ClickHeader(int column) {
        QHeaderView* header = list.header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    QList<Qt::CheckState> States() const {
        QList<Qt::CheckState> states;
        for (int i = 0; i < list.topLevelItemCount(); ++i) {
            states.append(list.topLevelItem(i)->checkState(0));
        }
        return states;
    }
};

} // namespace

TEST(CheckListCtrl, HeaderStartsEmptyAndItsClickTicksThenClearsEveryRow) {
    ListWindow ui({Qt::Checked, Qt::Unchecked, Qt::Checked});
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
    // The box is opaque, the magenta margin round it transparent.
    const QImage box = ui.list.model()
                           ->headerData(0, Qt::Horizontal, Qt::DecorationRole)
                           .value<QIcon>()
                           .pixmap(16, 16)
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(box.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(box.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(box.pixel(8, 8)), 255);
    EXPECT_NE(box.pixel(8, 8) & 0xFFFFFF, 0xFF00FFu);

    ui.ClickHeader(0);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kTickedBox);
    EXPECT_EQ(ui.States(), QList<Qt::CheckState>(3, Qt::Checked));

    ui.ClickHeader(0);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
    EXPECT_EQ(ui.States(), QList<Qt::CheckState>(3, Qt::Unchecked));
}

TEST(CheckListCtrl, HeaderClickOnAnEmptyListOnlySwitchesTheImage) {
    ListWindow ui({});
    ui.ClickHeader(0);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kTickedBox);
    ui.ClickHeader(0);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
}

// Rows that come in with their tick already set count as well: ticked ones tick the box of a list whose
// every row is ticked, an unticked one clears it.
TEST(CheckListCtrl, RowsInsertedTickedOrNotReevaluateTheHeader) {
    ListWindow ui({});
    const auto insert = [&ui](Qt::CheckState state) {
        auto* item = new QTreeWidgetItem(QStringList{QStringLiteral("clip.mp4")});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, state);
        ui.list.addTopLevelItem(item);
    };
    insert(Qt::Checked);
    insert(Qt::Checked);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kTickedBox);
    insert(Qt::Unchecked);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
    insert(Qt::Checked);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
    ui.list.topLevelItem(2)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kTickedBox);
}

TEST(CheckListCtrl, ClicksOnOtherColumnHeadersChangeNothing) {
    ListWindow ui({Qt::Unchecked, Qt::Checked});
    ui.ClickHeader(1);
    ui.ClickHeader(2);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
    EXPECT_EQ(ui.States(), (QList<Qt::CheckState>{Qt::Unchecked, Qt::Checked}));
}

TEST(CheckListCtrl, RowCheckChangesReevaluateTheHeader) {
    ListWindow ui({Qt::Checked, Qt::Checked});
    QTreeWidgetItem* second = ui.list.topLevelItem(1);
    second->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
    second->setCheckState(0, Qt::Checked);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kTickedBox);

    // A click on a row's own check box counts as well.
    const QRect rowRect = ui.list.visualItemRect(second);
    QTest::mouseClick(ui.list.viewport(), Qt::LeftButton, {},
                      QPoint(rowRect.left() + 12, rowRect.center().y()));
    ASSERT_EQ(second->checkState(0), Qt::Unchecked) << "the click missed the row's check box";
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);

    // A text change is not a state change.
    second->setCheckState(0, Qt::Checked);
    ui.list.CheckHeader()->SetHeaderCheckImage(kEmptyBox);
    second->setText(1, QStringLiteral("mp4"));
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
}

TEST(CheckListCtrl, DeletingRowsKeepsTheHeaderUntilTheNextRowChange) {
    ListWindow ui({Qt::Checked, Qt::Unchecked, Qt::Checked, Qt::Checked});
    ui.list.setCurrentItem(ui.list.topLevelItem(1));
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);

    // Removing the unchecked (and current) row leaves only checked rows, yet the header keeps its box,
    // also when later removals move the current row.
    delete ui.list.topLevelItem(1);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
    ASSERT_NE(ui.list.currentItem(), nullptr);
    delete ui.list.currentItem();
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
    ui.list.DeleteItem(0);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);

    // Selecting a row is a row change: the header now matches the rows.
    ui.list.clearSelection();
    ui.list.topLevelItem(0)->setSelected(true);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kTickedBox);

    // Clearing the list (which also clears its selection) keeps the header as it is.
    ui.list.CheckHeader()->SetHeaderCheckImage(kEmptyBox);
    ui.list.DeleteAllItems();
    EXPECT_EQ(ui.list.topLevelItemCount(), 0);
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox);
}

TEST(CheckListCtrl, BeforeInitHeaderCheckTheHeaderIsPlainAndASecondInitChangesNothing) {
    ListWindow ui({Qt::Checked, Qt::Unchecked}, /*initHeader=*/false);
    ui.list.topLevelItem(1)->setCheckState(0, Qt::Checked);
    ui.ClickHeader(0);
    EXPECT_EQ(ui.list.HeaderCheckImage(), CCheckHeadCtrl::kBlankImage);
    EXPECT_EQ(ui.States(), QList<Qt::CheckState>(2, Qt::Checked));

    EXPECT_TRUE(ui.list.InitHeaderCheck());
    EXPECT_EQ(ui.list.HeaderCheckImage(), kEmptyBox); // whatever the rows are
    ui.ClickHeader(0);
    EXPECT_TRUE(ui.list.InitHeaderCheck());
    EXPECT_EQ(ui.list.HeaderCheckImage(), kTickedBox);
}

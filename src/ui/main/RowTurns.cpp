// Each row's own turn: the rotation group sets the turn of the selected rows and of files added afterwards;
// a row's context menu and Ctrl+Right, Ctrl+Left and Ctrl+0 change the rows they act on alone. A row shows
// its turn in its pictures (now and after it) and its tooltip; Start rotates each row by its own turn.
#include "ui/main/TessalyDlg.h"

#include "controls/CheckListCtrl.h"
#include "settings/LanguageTexts.h"
#include "ui/templates/DialogBuilder.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QMenu>
#include <QRadioButton>

namespace quarnix {

namespace {

constexpr int kPathColumn = 0;
// The rotation group's buttons and the clockwise turn each stands for.
constexpr std::pair<int, int> kTurnButtons[] = {{1256, 90}, {1007, 180}, {1008, 270}};

// A row's turn in its item data: the degrees, plus 1000 when they are absolute ("as recorded" and beyond).
int EncodeTurn(const Turn& turn) {
    return NormalizedDegrees(turn.degrees) + (turn.absolute ? 1000 : 0);
}
Turn DecodeTurn(int value) {
    return {value % 1000, value >= 1000};
}

} // namespace

QString CTessalyDlg::TurnText(const Turn& turn) {
    if (turn.absolute) {
        return turn.degrees == 0 ? Text(u"JIEMIAN", u"asrecorded")
                                 : Text(u"JIEMIAN", u"setturn").arg(turn.degrees);
    }
    return Text(u"JIEMIAN", u"turnby").arg(turn.degrees);
}

Turn CTessalyDlg::RowTurn(const QTreeWidgetItem& item) {
    const QVariant value = item.data(kPathColumn, kTurnRole);
    return value.isValid() ? DecodeTurn(value.toInt()) : Turn::Clockwise(90);
}

bool CTessalyDlg::RowTurnsPictures(const QTreeWidgetItem& item) {
    return item.data(kPathColumn, kTurnPicturesRole).toBool();
}

void CTessalyDlg::SetRowTurnsPictures(QTreeWidgetItem& item, bool turnPictures) {
    item.setData(kPathColumn, kTurnPicturesRole, turnPictures);
    SetRowTurn(item, RowTurn(item)); // the tooltip says the way too
}

void CTessalyDlg::SetRowTurn(QTreeWidgetItem& item, const Turn& turn) {
    const Turn normalized{NormalizedDegrees(turn.degrees), turn.absolute};
    item.setData(kPathColumn, kTurnRole, EncodeTurn(normalized));
    ShowRowPictures(item);
    QString tip = item.text(kPathColumn) + u'\n' + TurnText(normalized);
    if (RowTurnsPictures(item)) {
        tip += u'\n' + Text(u"JIEMIAN", u"turnpictures");
    }
    item.setToolTip(kPathColumn, tip);
    // A turn of nothing leaves the file as players show it now: there is nothing to write.
    if (!normalized.absolute && normalized.degrees == 0) {
        item.setCheckState(0, Qt::Unchecked);
    }
}

Turn CTessalyDlg::ChosenTurn() const {
    for (const auto& [id, degrees] : kTurnButtons) {
        if (FindControl<QRadioButton>(this, id)->isChecked()) {
            return Turn::Clockwise(degrees);
        }
    }
    return Turn::Clockwise(90);
}

void CTessalyDlg::TurnSelectedRows(int byDegrees) {
    for (QTreeWidgetItem* item : m_fileList->selectedItems()) {
        Turn turn = RowTurn(*item);
        turn.degrees += byDegrees;
        SetRowTurn(*item, turn);
        if (NormalizedDegrees(turn.degrees) != 0 || turn.absolute) {
            item->setCheckState(0, Qt::Checked);
        }
    }
}

bool CTessalyDlg::RowTurnKey(const QKeyEvent& event) {
    if (event.modifiers() != Qt::ControlModifier) {
        return false;
    }
    switch (event.key()) {
    case Qt::Key_Right:
        TurnSelectedRows(90);
        return true;
    case Qt::Key_Left:
        TurnSelectedRows(-90);
        return true;
    case Qt::Key_0:
        SetSelectedRowsTurn(Turn::Absolute(0));
        return true;
    default:
        return false;
    }
}

void CTessalyDlg::SetSelectedRowsTurn(const Turn& turn) {
    for (QTreeWidgetItem* item : m_fileList->selectedItems()) {
        SetRowTurn(*item, turn);
        item->setCheckState(0, Qt::Checked);
    }
}

QList<QTreeWidgetItem*> CTessalyDlg::RowsTheGroupSets() const {
    // With no row selected the choice is the whole list's, as a batch-wide angle was.
    QList<QTreeWidgetItem*> rows = m_fileList->selectedItems();
    if (rows.isEmpty()) {
        for (int row = 0; row < m_fileList->topLevelItemCount(); ++row) {
            rows << m_fileList->topLevelItem(row);
        }
    }
    return rows;
}

void CTessalyDlg::SetUpRowTurns() {
    // The group's choice applies to the selected rows at once, and to every file added afterwards.
    for (const auto& [id, degrees] : kTurnButtons) {
        auto* button = FindControl<QRadioButton>(this, id);
        connect(button, &QRadioButton::toggled, this, [this, turnDegrees = degrees](bool checked) {
            if (!checked) {
                return;
            }
            // Rows chosen by selection are ticked too; a choice for the whole list leaves the ticks alone.
            const bool selected = !m_fileList->selectedItems().isEmpty();
            for (QTreeWidgetItem* item : RowsTheGroupSets()) {
                SetRowTurn(*item, Turn::Clockwise(turnDegrees));
                if (selected) {
                    item->setCheckState(0, Qt::Checked);
                }
            }
        });
    }
    // "Turn the pictures" is a way of each row, set like the turn: for the selected rows, or every row.
    connect(FindControl<QCheckBox>(this, 1301), &QCheckBox::toggled, this, [this](bool checked) {
        for (QTreeWidgetItem* item : RowsTheGroupSets()) {
            SetRowTurnsPictures(*item, checked);
        }
    });
    // Ctrl+Right, Ctrl+Left and Ctrl+0 reach the list through the window's event filter (RowTurnKey).
    m_fileList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_fileList, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        QTreeWidgetItem* item = m_fileList->itemAt(position);
        if (item == nullptr) {
            return;
        }
        if (!item->isSelected()) {
            m_fileList->clearSelection();
            item->setSelected(true);
        }
        std::unique_ptr<QMenu> menu(MakeRowTurnMenu(m_fileList));
        menu->exec(m_fileList->viewport()->mapToGlobal(position));
    });
}

QMenu* CTessalyDlg::MakeRowTurnMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("rowTurnMenu"));
    const std::tuple<QStringView, QKeySequence, std::function<void()>> entries[] = {
        {u"turnright", QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { TurnSelectedRows(90); }},
        {u"turnleft", QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { TurnSelectedRows(-90); }},
        {u"turnhalf", QKeySequence(), [this] { TurnSelectedRows(180); }},
        {u"asrecordedmenu", QKeySequence(Qt::CTRL | Qt::Key_0),
         [this] { SetSelectedRowsTurn(Turn::Absolute(0)); }},
    };
    for (const auto& [key, sequence, action] : entries) {
        QAction* entry = menu->addAction(Text(u"JIEMIAN", key));
        entry->setShortcut(sequence);
        connect(entry, &QAction::triggered, this, action);
    }
    return menu;
}

} // namespace quarnix

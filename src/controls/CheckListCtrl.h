// CCheckListCtrl: a report list (one row per item, several columns) whose rows carry check boxes and
// whose first column header carries a box that shows whether every row is checked and toggles them all.
#pragma once

#include "controls/CheckHeadCtrl.h"

#include <QTreeWidget>

namespace quarnix {

class CCheckListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CCheckListCtrl(QWidget* parent = nullptr);

    // Puts the check box (from bitmap 292) into header column 0, showing an empty box. Call once, after
    // the columns exist; further calls change nothing. Returns true.
    bool InitHeaderCheck();

    CCheckHeadCtrl* CheckHeader() const { return m_header; }

    // The image that header column 0 shows (CCheckHeadCtrl::CheckImage).
    int HeaderCheckImage() const { return m_header->HeaderCheckImage(); }

    // Removes one row or all rows. The header box keeps its image until the next row change.
    void DeleteItem(int row);
    void DeleteAllItems();

    // Ticks every selected row, or unticks them all when every one is ticked already (the Space key).
    void ToggleSelectedChecks();

    // The words the empty list shows in its middle (how to add rows).
    void SetEmptyText(const QString& text);
    const QString& EmptyText() const { return m_emptyText; }

protected:
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Shows the ticked box when no row is unchecked (rows without a check box count as checked).
    void UpdateHeaderCheck();
    void UpdateHeaderCheckAfterInsert(int first, int last);

    CCheckHeadCtrl* m_header = nullptr;
    bool m_initialised = false;
    // Set while rows are being removed: the moves of selection and current row that a removal causes are
    // not row changes of their own.
    bool m_removingRows = false;
    QString m_emptyText;
};

} // namespace quarnix

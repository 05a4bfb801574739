#include "controls/CheckListCtrl.h"

#include "Resources.h"

#include <QBitmap>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace quarnix {

namespace {

constexpr int kImageSide = 16;

// The three 16 x 16 images of bitmap 292, with magenta keyed out as transparent.
QList<QIcon> LoadHeaderCheckImages() {
    const QImage strip = LoadBitmapResource(kHeaderCheckBitmapId).convertToFormat(QImage::Format_RGB32);
    QList<QIcon> images;
    for (int left = 0; left + kImageSide <= strip.width(); left += kImageSide) {
        const QImage cell = strip.copy(left, 0, kImageSide, kImageSide);
        QPixmap pixmap = QPixmap::fromImage(cell);
        // As with the button shapes: the matching (magenta) pixels end up clear in the bitmap mask.
        pixmap.setMask(QBitmap::fromImage(cell.createMaskFromColor(qRgb(255, 0, 255), Qt::MaskInColor)));
        images.append(QIcon(pixmap));
    }
    return images;
}

// Rows without a check box count as checked.
bool IsUnchecked(const QTreeWidgetItem& item) {
    const QVariant state = item.data(0, Qt::CheckStateRole);
    return state.isValid() && state.toInt() == Qt::Unchecked;
}

} // namespace

CCheckListCtrl::CCheckListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    m_header = new CCheckHeadCtrl(this);
    setHeader(m_header);

    connect(model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.contains(Qt::CheckStateRole)) {
                    UpdateHeaderCheck();
                }
            });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_removingRows) {
            UpdateHeaderCheck();
        }
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!m_removingRows) {
            UpdateHeaderCheck();
        }
    });
    connect(model(), &QAbstractItemModel::rowsRemoved, this, [this] { m_removingRows = false; });
    connect(model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (!parent.isValid()) {
                    UpdateHeaderCheckAfterInsert(first, last);
                }
            });
}

bool CCheckListCtrl::InitHeaderCheck() {
    if (m_initialised) {
        return true;
    }
    const QList<QIcon> images = LoadHeaderCheckImages();
    m_header->SetCheckImages(images);
    m_initialised = true;
    return true;
}

void CCheckListCtrl::DeleteItem(int row) {
    m_removingRows = true;
    delete takeTopLevelItem(row);
    m_removingRows = false;
}

void CCheckListCtrl::DeleteAllItems() {
    // QTreeWidget::clear() first clears the selection, which would count as a row change.
    m_removingRows = true;
    clear();
    m_removingRows = false;
}

void CCheckListCtrl::ToggleSelectedChecks() {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    const bool allTicked = std::all_of(selected.begin(), selected.end(), [](const QTreeWidgetItem* item) {
        return item->checkState(0) == Qt::Checked;
    });
    for (QTreeWidgetItem* item : selected) {
        item->setCheckState(0, allTicked ? Qt::Unchecked : Qt::Checked);
    }
}

void CCheckListCtrl::SetEmptyText(const QString& text) {
    m_emptyText = text;
    viewport()->update();
}

void CCheckListCtrl::keyPressEvent(QKeyEvent* event) {
    // Space acts on the whole selection, not only on the current row as the view's own handling would.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && !selectedItems().isEmpty()) {
        ToggleSelectedChecks();
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CCheckListCtrl::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    if (topLevelItemCount() == 0 && !m_emptyText.isEmpty()) {
        QPainter painter(viewport());
        painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         m_emptyText);
    }
}

void CCheckListCtrl::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    // This view hears of a removal before its selection model does (it connected to the model first).
    m_removingRows = true;
    QTreeWidget::rowsAboutToBeRemoved(parent, start, end);
}

// Rows that come in ticked leave a ticked header box as it is, so a list filled with 2,000 ticked rows
// looks at each new row only; an unticked one clears the box at once, and a box that was not ticked is
// worked out from every row.
void CCheckListCtrl::UpdateHeaderCheckAfterInsert(int first, int last) {
    if (!m_initialised) {
        return;
    }
    for (int row = first; row <= last; ++row) {
        if (IsUnchecked(*topLevelItem(row))) {
            m_header->SetHeaderCheckImage(CCheckHeadCtrl::kEmptyBoxImage);
            return;
        }
    }
    if (m_header->HeaderCheckImage() != CCheckHeadCtrl::kTickedBoxImage) {
        UpdateHeaderCheck();
    }
}

void CCheckListCtrl::UpdateHeaderCheck() {
    if (!m_initialised) {
        return;
    }
    bool allChecked = true;
    for (int row = 0; row < topLevelItemCount() && allChecked; ++row) {
        allChecked = !IsUnchecked(*topLevelItem(row));
    }
    m_header->SetHeaderCheckImage(allChecked ? CCheckHeadCtrl::kTickedBoxImage
                                             : CCheckHeadCtrl::kEmptyBoxImage);
}

} // namespace quarnix

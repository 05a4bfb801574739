#include "controls/CheckHeadCtrl.h"

namespace quarnix {

CCheckHeadCtrl::CCheckHeadCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    // A report list's header: left-aligned captions, fixed column order, no stretched last column.
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setStretchLastSection(false);
    setSectionsMovable(false);
    connect(this, &QHeaderView::sectionClicked, this, &CCheckHeadCtrl::OnSectionClicked);
}

void CCheckHeadCtrl::SetCheckImages(const QList<QIcon>& images) {
    m_images = images;
    setSectionsClickable(true);
    SetHeaderCheckImage(kEmptyBoxImage);
}

void CCheckHeadCtrl::SetHeaderCheckImage(int imageIndex) {
    m_imageIndex = imageIndex;
    if (model() && imageIndex >= 0 && imageIndex < m_images.size()) {
        model()->setHeaderData(0, Qt::Horizontal, m_images[imageIndex], Qt::DecorationRole);
    }
}

void CCheckHeadCtrl::OnSectionClicked(int logicalIndex) {
    if (logicalIndex != 0 || m_images.isEmpty() || !model()) {
        return;
    }
    const int newImage = m_imageIndex == kEmptyBoxImage ? kTickedBoxImage : kEmptyBoxImage;
    SetHeaderCheckImage(newImage);
    const Qt::CheckState state = newImage == kTickedBoxImage ? Qt::Checked : Qt::Unchecked;
    for (int row = 0; row < model()->rowCount(rootIndex()); ++row) {
        model()->setData(model()->index(row, 0, rootIndex()), state, Qt::CheckStateRole);
    }
}

} // namespace quarnix

// CCheckHeadCtrl: the header of a CCheckListCtrl. Column 0 shows a check box; clicking it ticks or
// clears every row of the list. Clicks on other columns do nothing.
#pragma once

#include <QHeaderView>
#include <QIcon>
#include <QList>

namespace quarnix {

class CCheckHeadCtrl : public QHeaderView {
    Q_OBJECT
public:
    // The images of the header box, by index.
    enum CheckImage { kBlankImage = 0, kEmptyBoxImage = 1, kTickedBoxImage = 2 };

    explicit CCheckHeadCtrl(QWidget* parent = nullptr);

    // Gives the header its images (blank, empty box, ticked box) and shows the empty box in column 0.
    // Until then the header box is absent and clicks do nothing.
    void SetCheckImages(const QList<QIcon>& images);

    // The image index that column 0 shows (kEmptyBoxImage or kTickedBoxImage once set up).
    int HeaderCheckImage() const { return m_imageIndex; }
    void SetHeaderCheckImage(int imageIndex);

private:
    void OnSectionClicked(int logicalIndex);

    QList<QIcon> m_images;
    int m_imageIndex = kBlankImage;
};

} // namespace quarnix

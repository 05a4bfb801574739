// Each row's pictures: the video as players show it now and, beside it, as it will be after the row's
// turn. Pictures are made off the UI thread (PictureQueue), the rows in view first, and kept per file, so
// the list never waits for them; a file without a decodable picture shows a plain placeholder.
#include "ui/main/TessalyDlg.h"

#include "controls/CheckListCtrl.h"
#include "ui/main/WindowTrace.h"

#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace quarnix {

namespace {

constexpr int kPathColumn = 0;
constexpr int kBoxSide = CTessalyDlg::kPictureSide;
constexpr int kArrowRoom = 11;

// The stored picture as players show it under the transform: mirrored left to right first, then turned.
QImage Shown(const QImage& stored, const DisplayTransform& transform) {
    QImage shown = transform.mirrored ? stored.mirrored(true, false) : stored;
    if (transform.clockwise != 0) {
        // Qt's y axis points down, so a positive angle turns clockwise on the screen.
        shown = shown.transformed(QTransform().rotate(transform.clockwise));
    }
    return shown;
}

void DrawInBox(QPainter& painter, const QRect& box, const QImage& picture) {
    if (picture.isNull()) {
        painter.fillRect(box.adjusted(4, 4, -4, -4), QColor(0xd0, 0xd0, 0xd0));
        return;
    }
    const QSize fitted = picture.size().scaled(box.size(), Qt::KeepAspectRatio);
    const QRect target(box.x() + (box.width() - fitted.width()) / 2,
                       box.y() + (box.height() - fitted.height()) / 2, fitted.width(), fitted.height());
    painter.drawImage(target, picture);
}

} // namespace

void CTessalyDlg::SetUpRowPictures() {
    m_fileList->setIconSize(QSize(2 * kBoxSide + kArrowRoom, kBoxSide));
    connect(&m_pictures, &PictureQueue::Ready, this,
            [this](const QString& path, const std::optional<PreviewPicture>& picture) {
                RowPicture stored;
                stored.made = true;
                if (picture) {
                    stored.picture = QImage(picture->rgb.data(), picture->width, picture->height,
                                            picture->width * 3, QImage::Format_RGB888)
                                         .copy();
                    stored.shown = picture->shown;
                }
                m_rowPictures.insert(path, std::move(stored));
                // A path is listed once. Pictures mostly arrive in list order, so the search starts after
                // the row of the last one and wraps around: one step each instead of a pass over the list.
                const int rows = m_fileList->topLevelItemCount();
                for (int step = 0; step < rows; ++step) {
                    const int row = (m_lastPictureRow + 1 + step) % rows;
                    QTreeWidgetItem* item = m_fileList->topLevelItem(row);
                    if (item->text(kPathColumn) == path) {
                        window_trace::Note("picture", row);
                        ShowRowPictures(*item);
                        m_lastPictureRow = row;
                        break;
                    }
                }
            });
    connect(m_fileList->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { RequestPicturesInView(); });
}

void CTessalyDlg::RequestPicture(const QString& path) {
    if (!m_rowPictures.contains(path)) {
        m_pictures.Request(path, false);
    }
    // Once the rows of this adding are laid out, the ones in view go first.
    if (!m_viewRequestPending) {
        m_viewRequestPending = true;
        QTimer::singleShot(0, this, [this] {
            m_viewRequestPending = false;
            RequestPicturesInView();
        });
    }
}

void CTessalyDlg::RequestPicturesInView() {
    const QRect view = m_fileList->viewport()->rect();
    QTreeWidgetItem* const top = m_fileList->itemAt(view.topLeft() + QPoint(1, 1));
    int rowsInView = 0;
    for (QTreeWidgetItem* item = top; item != nullptr; item = m_fileList->itemBelow(item), ++rowsInView) {
        if (m_fileList->visualItemRect(item).top() > view.bottom()) {
            break;
        }
        if (!m_rowPictures.contains(item->text(kPathColumn))) {
            m_pictures.Request(item->text(kPathColumn), true);
        }
    }
    // The list is flat, so the rows in view follow the top one; its row is looked up only when traced.
    if (top != nullptr && window_trace::Enabled()) {
        const int first = m_fileList->indexOfTopLevelItem(top);
        window_trace::Note("view", first, first + rowsInView - 1);
    }
}

QImage CTessalyDlg::RowPictureShown(const QString& path, const std::optional<Turn>& turn) const {
    const RowPicture stored = m_rowPictures.value(path);
    if (stored.picture.isNull()) {
        return {};
    }
    return Shown(stored.picture, turn ? TurnedTransform(*turn, stored.shown) : stored.shown);
}

void CTessalyDlg::ShowRowPictures(QTreeWidgetItem& item) {
    const RowPicture stored = m_rowPictures.value(item.text(kPathColumn));
    const Turn turn = RowTurn(item);
    // Drawn at the screen's pixel density: sharp on a high-density screen, and a quarter of the memory
    // (26 KB less per row, 52 MB for 2,000 rows) on an ordinary one.
    const int scale = std::max(1, static_cast<int>(std::ceil(m_fileList->devicePixelRatioF())));
    QPixmap pixmap(m_fileList->iconSize() * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect now(0, 0, kBoxSide, kBoxSide);
    const QRect after(kBoxSide + kArrowRoom, 0, kBoxSide, kBoxSide);
    if (stored.made) {
        DrawInBox(painter, now, RowPictureShown(item.text(kPathColumn), std::nullopt));
        DrawInBox(painter, after, RowPictureShown(item.text(kPathColumn), turn));
    } else {
        // Not made yet: light boxes, so the row does not look broken while its picture is on its way.
        painter.fillRect(now.adjusted(4, 4, -4, -4), QColor(0xee, 0xee, 0xee));
        painter.fillRect(after.adjusted(4, 4, -4, -4), QColor(0xee, 0xee, 0xee));
    }
    // The arrow between the two pictures, with the turn's degrees under it.
    painter.setPen(QColor(0x1e, 0x6f, 0xc8));
    QFont small = m_fileList->font();
    small.setPixelSize(8);
    small.setBold(true);
    painter.setFont(small);
    const QRect arrowBox(kBoxSide, 0, kArrowRoom, kBoxSide);
    painter.drawText(arrowBox.adjusted(0, 0, 0, -kBoxSide / 3), Qt::AlignCenter, QStringLiteral("\u2192"));
    const QString degrees =
        turn.absolute && turn.degrees == 0 ? QStringLiteral("0") : QString::number(turn.degrees);
    painter.drawText(arrowBox.adjusted(-2, kBoxSide / 3, 2, 0), Qt::AlignCenter, degrees);
    painter.end();
    item.setIcon(kPathColumn, QIcon(pixmap));
}

} // namespace quarnix

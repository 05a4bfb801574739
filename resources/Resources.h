// Access to the program's resources by numeric id, as the dialogs and controls refer to them:
// bitmaps (":/bitmaps/<id>.bmp"), icons (":/icons/<id>.png") and the string table.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace quarnix {

// Resource ids of the program.
inline constexpr int kProgramIconId = 266;
inline constexpr int kAboutMenuStringId = 101;
inline constexpr int kHeaderCheckBitmapId = 292;

// The resource path of a bitmap id, for example ":/bitmaps/178.bmp"; scale 2 names the twin drawn for
// screens of twice the density, ":/bitmaps/178@2x.bmp".
QString BitmapResourcePath(int bitmapId, int scale = 1);

// The bitmap with that id (at that scale); a null image when there is none.
QImage LoadBitmapResource(int bitmapId, int scale = 1);

// The icon with that id; a null icon when there is none.
QIcon LoadIconResource(int iconId);

// The string with that id from the string table; empty when there is none.
QString LoadStringResource(int stringId);

} // namespace quarnix

// The header check-box strip (three 16 x 16 images on magenta, the list's transparent colour) and the
// program icon.
#pragma once

#include <QImage>

namespace picturegen {

// 48 x 16, 8 bits per pixel: blank, empty box, ticked box. Magenta RGB(255,0,255) is transparent.
QImage HeaderCheckStrip();

// The program icon, square, with an alpha channel.
QImage ProgramIcon(int side);

} // namespace picturegen

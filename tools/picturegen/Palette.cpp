#include "Palette.h"

namespace picturegen {

FacePalette NormalFace() {
    return {QColor(86, 156, 238), QColor(28, 98, 200), QColor(20, 72, 156)};
}

// Less blue: the same hue family, lighter and less saturated, so the hover is a gentle change.
FacePalette HoverFace() {
    return {QColor(122, 176, 232), QColor(62, 124, 204), QColor(40, 92, 164)};
}

} // namespace picturegen

// The program's string table: fixed texts addressed by id.
#include "Resources.h"

#include <array>
#include <utility>

namespace quarnix {

namespace {
constexpr std::array kStrings = {
    std::pair{kAboutMenuStringId, "Quarnix..."},
};
} // namespace

QString LoadStringResource(int stringId) {
    for (const auto& [id, text] : kStrings) {
        if (id == stringId) {
            return QString::fromUtf8(text);
        }
    }
    return {};
}

} // namespace quarnix

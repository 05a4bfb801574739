#include "controls/ShellResultText.h"

#include <array>
#include <utility>

namespace quarnix {

namespace {
constexpr std::array kTexts = {
    std::pair{0, "The operating system is out\nof memory or resources."},
    std::pair{2, "The specified file was not found."},
    std::pair{3, "The specified path was not found."},
    std::pair{5, "The operating system denied\naccess to the specified file."},
    std::pair{8, "There was not enough memory to complete the operation."},
    std::pair{11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
    std::pair{26, "A sharing violation occurred. "},
    std::pair{27, "The filename association is\nincomplete or invalid."},
    std::pair{28, "The DDE transaction could not\nbe completed because the request timed out."},
    std::pair{29, "The DDE transaction failed."},
    std::pair{30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
                  "processed."},
    std::pair{31, "There is no application associated\nwith the given filename extension."},
    std::pair{32, "The specified dynamic-link library was not found."},
};
} // namespace

QString ShellResultText(int code) {
    for (const auto& [known, text] : kTexts) {
        if (known == code) {
            return QString::fromUtf8(text);
        }
    }
    return QStringLiteral("Unknown Error (%1) occurred.").arg(code);
}

} // namespace quarnix

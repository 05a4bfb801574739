// Style bits of a static text control, as the dialog templates carry them. CLabel and CHyperLink take
// their text layout from these bits.
#pragma once

#include <cstdint>

namespace quarnix::static_style {

inline constexpr std::uint32_t kTypeMask = 0x1F; // the low five bits: the static type
inline constexpr std::uint32_t kLeft = 0x0;
inline constexpr std::uint32_t kCenter = 0x1;
inline constexpr std::uint32_t kRight = 0x2;
inline constexpr std::uint32_t kLeftNoWordWrap = 0xC;
inline constexpr std::uint32_t kNotify = 0x100;
inline constexpr std::uint32_t kCenterImage = 0x200;

inline constexpr std::uint32_t Type(std::uint32_t style) {
    return style & kTypeMask;
}

} // namespace quarnix::static_style

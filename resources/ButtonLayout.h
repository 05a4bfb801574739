// Sizes of the button pictures and where their captions sit on them, shared by the picture generator
// (tools/picturegen), which leaves the caption space free, and the main window, which draws the caption
// there in the pack's language. All in 1x pixels; the @2x pictures double them.
#pragma once

namespace quarnix::button_layout {

struct Box {
    int left;
    int top;
    int width;
    int height;
};

// Add, Remove and Remove All: a rounded face with the glyph on the left and the caption to its right.
inline constexpr int kIconWidth = 115;
inline constexpr int kIconHeight = 52;
inline constexpr int kIconGlyphLeft = 8;
inline constexpr int kIconGlyphSide = 28;
inline constexpr Box kIconCaption{kIconGlyphLeft + kIconGlyphSide + 3, 2,
                                  kIconWidth - (kIconGlyphLeft + kIconGlyphSide + 3) - 6, kIconHeight - 5};
inline constexpr int kIconCaptionPixels = 14; // the largest size; the three share the size that fits all

// Browse and Find Target: pills with a centred caption.
inline constexpr int kPillHeight = 35;
inline constexpr int kBrowseWidth = 65;
inline constexpr int kFindTargetWidth = 96;
inline constexpr Box PillCaption(int width) {
    return {2, 1, width - 4, kPillHeight - 4};
}
inline constexpr int kPillCaptionPixels = 12;

// Start: a round button with the play mark above the caption.
inline constexpr int kStartWidth = 90;
inline constexpr int kStartHeight = 93;
inline constexpr int kStartInnerRadius = kStartWidth / 2 - 2 - 8; // ring outer radius minus the ring
// The caption sits below the centre, where the disc is narrower than its diameter: 56 pixels wide.
inline constexpr Box kStartCaption{kStartWidth / 2 - (kStartInnerRadius - 7), kStartHeight / 2 - 2,
                                   2 * (kStartInnerRadius - 7), 22};
inline constexpr int kStartCaptionPixels = 16;

} // namespace quarnix::button_layout

// The texts of a file-list row (duration, extension, frame size, bit rate, frame rate) and their
// inverse for the duration. Shared by the window and the command line; UTF-8 in, UTF-8 out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quarnix {

// hh:mm:ss.fff with at least two digits of hours: 3723004 ms reads "01:02:03.004".
std::string FormatDuration(std::int32_t milliseconds);

// The inverse of FormatDuration, in milliseconds; any number of hour digits is read. Text that was not made
// by FormatDuration gives whatever its leading integers say; the result is capped to the 32-bit range.
std::int32_t ParseDuration(std::string_view text);

// The duration the list shows for a container duration in microseconds: a missing duration reads as 0.
std::int32_t ListDurationMilliseconds(std::int64_t microseconds);

// The text after the last "." of the path, without the dot; a path without "." is returned whole.
std::string FileExtension(std::string_view path);

// The text from the last "." of the path to its end, dot included; a path without "." is returned whole.
std::string DottedExtension(std::string_view path);

// "1920*1080"
std::string FormatFrameSize(std::int32_t width, std::int32_t height);

// Bits per second as "4500kbps" (integer kilobits).
std::string FormatBitRate(std::int32_t bitsPerSecond);

// "%5.2f" frames per second then "fps": " 8.00fps", "29.97fps"; a zero denominator reads " 0.00fps".
std::string FormatFrameRate(std::int32_t numerator, std::int32_t denominator);

struct MediaFacts;

// The list columns of a probed file, in order: path, extension, duration, frame size, video bit rate,
// frame rate, profile. The window and quarnix-cli probe show the same texts.
std::array<std::string, 7> ListRowTexts(const std::string& path, const MediaFacts& facts);

// How players show the video now, as quarnix-cli probe prints it: "0", "90", "180" or "270", followed by
// " mirrored" when the picture is mirrored.
std::string ShownTransformText(const MediaFacts& facts);

} // namespace quarnix

#include "engine/probe/MediaText.h"

#include "engine/probe/MediaProbe.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace quarnix {

namespace {

std::string TwoDigits(std::int32_t value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

std::string Milliseconds(std::int32_t value) {
    if (value == 0) {
        return "000";
    }
    if (value < 10) {
        return "00" + std::to_string(value);
    }
    if (value < 100) {
        return "0" + std::to_string(value);
    }
    return std::to_string(value);
}

// Reads an integer the way the C library's atol does: leading blanks, an optional sign, then digits up
// to the first non-digit. Saturates instead of overflowing.
std::int64_t LeadingInteger(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = std::min<std::int64_t>(value * 10 + (text[pos] - '0'), kLimit * 1000);
    }
    return negative ? -value : value;
}

std::string_view After(std::string_view text, std::size_t position) {
    return position == std::string_view::npos ? std::string_view{} : text.substr(position + 1);
}

} // namespace

std::string FormatDuration(std::int32_t milliseconds) {
    const std::int32_t hours = milliseconds / 3600000;
    const std::int32_t minutes = ((milliseconds / 1000) % 3600) / 60;
    const std::int32_t seconds = ((milliseconds / 1000) % 3600) % 60;
    const std::int32_t fraction = milliseconds % 1000;
    return TwoDigits(hours) + ":" + TwoDigits(minutes) + ":" + TwoDigits(seconds) + "." +
           Milliseconds(fraction);
}

std::int32_t ParseDuration(std::string_view text) {
    const std::size_t firstColon = text.find(':');
    const std::int64_t hours = LeadingInteger(text.substr(0, firstColon));
    const std::int64_t minutes = LeadingInteger(After(text, firstColon));
    const std::int64_t seconds = LeadingInteger(After(text, text.rfind(':')));
    const std::int64_t fraction = LeadingInteger(After(text, text.find('.')));
    const std::int64_t total = (hours * 3600 + minutes * 60 + seconds) * 1000 + fraction;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(total, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::int32_t ListDurationMilliseconds(std::int64_t microseconds) {
    constexpr std::int64_t kNoDuration = std::numeric_limits<std::int64_t>::min(); // AV_NOPTS_VALUE
    if (microseconds == kNoDuration) {
        return 0;
    }
    return static_cast<std::int32_t>(microseconds / 1000);
}

std::string FileExtension(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    return std::string(dot == std::string_view::npos ? path : path.substr(dot + 1));
}

std::string DottedExtension(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    return std::string(dot == std::string_view::npos ? path : path.substr(dot));
}

std::string FormatFrameSize(std::int32_t width, std::int32_t height) {
    return std::to_string(width) + "*" + std::to_string(height);
}

std::string FormatBitRate(std::int32_t bitsPerSecond) {
    return std::to_string(bitsPerSecond / 1000) + "kbps";
}

std::string FormatFrameRate(std::int32_t numerator, std::int32_t denominator) {
    const double rate = denominator == 0 ? 0.0 : static_cast<double>(numerator) / denominator;
    char text[64];
    std::snprintf(text, sizeof text, "%5.2f", rate);
    return std::string(text) + "fps";
}

std::array<std::string, 7> ListRowTexts(const std::string& path, const MediaFacts& facts) {
    const auto clampedRate = [](std::int64_t rate) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(rate, 0, INT32_MAX));
    };
    return {path,
            FileExtension(path),
            FormatDuration(ListDurationMilliseconds(facts.durationUs)),
            FormatFrameSize(facts.width, facts.height),
            FormatBitRate(clampedRate(facts.videoBitRate)),
            FormatFrameRate(facts.frameRateNum, facts.frameRateDen),
            std::to_string(facts.profile)};
}

std::string ShownTransformText(const MediaFacts& facts) {
    return std::to_string(facts.shownClockwise) + (facts.shownMirrored ? " mirrored" : "");
}

} // namespace quarnix

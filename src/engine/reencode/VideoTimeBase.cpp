#include "engine/reencode/VideoTimeBase.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quarnix {

namespace {

struct TargetRate {
    double rate;
    AVRational timeBase;
};

// Target rates of the output presets and the time bases their encoders use.
constexpr std::array<TargetRate, 14> kTargetRates = {{
    {8.0, {1001, 8008}},
    {10.0, {1001, 10010}},
    {12.0, {1001, 12012}},
    {14.985, {1001, 15000}},
    {15.0, {1001, 15015}},
    {18.0, {1, 18}},
    {20.0, {1001, 20020}},
    {23.975, {1001, 24000}},
    {24.0, {1001, 24024}},
    {25.0, {1001, 25025}},
    {29.97, {1001, 30000}},
    {30.0, {1001, 30030}},
    {50.0, {1, 50}},
    {60.0, {1, 60}},
}};

// Encoders such as MPEG-4 part 2 cannot store time-base fields above 16 bits: a rate whose numerator is
// that large is rounded to hundredths of a frame per second.
AVRational RoundedRate(AVRational rate) {
    const float perSecond = static_cast<float>(rate.num) / static_cast<float>(rate.den);
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(perSecond));
    const double hundredths = std::strtod(text, nullptr) * 100.0;
    return AVRational{static_cast<int>(std::trunc(hundredths)), 100};
}

bool SameRatio(AVRational a, AVRational b) {
    return a.num == b.num && a.den == b.den;
}

} // namespace

AVRational VideoEncoderTimeBase(AVRational sourceRate, AVRational averageRate, double targetFrameRate,
                                AVCodecID codecId) {
    AVRational timeBase = av_inv_q(sourceRate);
    if (targetFrameRate == 0.0) {
        if (sourceRate.num > 65535 && sourceRate.den > 0) {
            sourceRate = RoundedRate(sourceRate);
        }
        timeBase = av_inv_q(sourceRate);
        if (codecId == AV_CODEC_ID_MPEG4) {
            if (SameRatio(timeBase, AVRational{32768, 982057})) {
                timeBase = AVRational{100, 2997};
            } else if (SameRatio(timeBase, AVRational{32768, 785645})) {
                timeBase = AVRational{1001, 24000};
            }
        }
    }
    for (const TargetRate& target : kTargetRates) {
        if (targetFrameRate == target.rate) {
            timeBase = target.timeBase;
        }
    }
    // Sources above 100 frames per second are timed by their average rate instead.
    if (sourceRate.den != 0 && sourceRate.num / sourceRate.den > 100 && averageRate.num != 0 &&
        averageRate.den != 0) {
        timeBase = av_inv_q(averageRate);
    }
    return timeBase;
}

} // namespace quarnix

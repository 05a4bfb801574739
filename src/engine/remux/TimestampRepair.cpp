#include "engine/remux/TimestampRepair.h"

#include <algorithm>
#include <array>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/avutil.h>
}

namespace quarnix {

void DtsRepair::Apply(AVPacket& packet) {
    if (packet.dts != AV_NOPTS_VALUE && packet.pts != AV_NOPTS_VALUE && packet.dts > packet.pts) {
        // With nothing written yet the lower bound is minus infinity, so the median is pts.
        std::int64_t median = packet.pts;
        if (m_lastDts != AV_NOPTS_VALUE) {
            std::array<std::int64_t, 3> candidates{packet.pts, packet.dts, m_lastDts + 1};
            std::sort(candidates.begin(), candidates.end());
            median = candidates[1];
        }
        packet.pts = packet.dts = median;
    }
    if (packet.dts != AV_NOPTS_VALUE && m_lastDts != AV_NOPTS_VALUE) {
        const std::int64_t lowest = m_lastDts + (m_strict ? 1 : 0);
        if (packet.dts < lowest) {
            if (packet.pts != AV_NOPTS_VALUE && packet.pts >= packet.dts) {
                packet.pts = std::max(packet.pts, lowest);
            }
            packet.dts = lowest;
        }
    }
    m_lastDts = packet.dts;
}

} // namespace quarnix

#include "engine/inplace/quicktime/QuickTimeTrackHeader.h"

#include "engine/inplace/quicktime/QuickTimeBox.h"

namespace quarnix {

TrackHeader ParseTrackHeader(const std::uint8_t* payload, std::uint64_t size) {
    TrackHeader header;
    if (size < 4) {
        return header;
    }
    const int version = payload[0];
    if (version > 1) {
        header.read = TrackHeader::Read::kUnknownVersion;
        return header;
    }
    const std::size_t times = version == 0 ? 4 : 8;
    const std::size_t trackIdAt = 4 + 2 * times;
    const std::size_t matrixAt = trackIdAt + 4 + 4 + times + 8 + 8;
    if (size < trackIdAt + 4) {
        header.read = TrackHeader::Read::kNoTrackId;
        return header;
    }
    header.trackId = Be32(payload + trackIdAt);
    if (size < matrixAt + kTrackMatrixBytes + 8) {
        header.read = TrackHeader::Read::kTrackIdOnly;
        return header;
    }
    header.read = TrackHeader::Read::kComplete;
    header.matrixOffset = matrixAt;
    header.widthFixed = Be32(payload + matrixAt + kTrackMatrixBytes);
    header.heightFixed = Be32(payload + matrixAt + kTrackMatrixBytes + 4);
    for (std::size_t i = 0; i < header.matrix.size(); ++i) {
        header.matrix[i] = static_cast<std::int32_t>(Be32(payload + matrixAt + 4 * i));
    }
    return header;
}

} // namespace quarnix

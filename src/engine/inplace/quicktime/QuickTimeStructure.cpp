#include "engine/inplace/quicktime/QuickTimeStructure.h"

namespace quarnix {

namespace {

using namespace box;

class StructureWalk : public HandlerWalk {
public:
    StructureWalk(const QuickTimeHeader& header, QuickTimeStructure& result)
        : HandlerWalk(header), m_result(result) {}

    bool Run() {
        const Box& moov = m_header.movie;
        const bool walked = ForEachChild(moov, moov.PayloadOffset(), [&](const Box& box) {
            if (box.type == kCmov) {
                return Fail(QuickTimeFault::kCompressedMovie);
            }
            return box.type != kTrak || WalkTrack(box);
        });
        return walked && (!m_result.videoTracks.empty() || Fail(QuickTimeFault::kNoVideoTrack));
    }

private:
    bool WalkTrack(const Box& trak) {
        Box header;
        int headerCount = 0;
        int mediaCount = 0;
        std::uint32_t handler = 0;
        const bool walked = ForEachChild(trak, trak.PayloadOffset(), [&](const Box& box) {
            if (box.type == kTkhd) {
                ++headerCount;
                header = box;
            } else if (box.type == kMdia) {
                return Once(mediaCount, QuickTimeFault::kTrackDescribedTwice) && ReadHandler(box, handler);
            }
            return true;
        });
        if (!walked) {
            return false;
        }
        if (mediaCount == 0 || handler == 0) {
            return Fail(QuickTimeFault::kTrackWithoutHandler);
        }
        if (handler != kVide) {
            return true;
        }
        if (headerCount == 0) {
            return Fail(QuickTimeFault::kVideoWithoutHeader);
        }
        if (headerCount > 1) {
            return Fail(QuickTimeFault::kVideoWithTwoHeaders);
        }
        return ReadVideoHeader(header);
    }

    bool ReadVideoHeader(const Box& tkhd) {
        const std::uint8_t* payload = Bytes(tkhd.PayloadOffset(), tkhd.PayloadSize());
        if (payload == nullptr) {
            return false;
        }
        const TrackHeader header = ParseTrackHeader(payload, tkhd.PayloadSize());
        switch (header.read) {
        case TrackHeader::Read::kComplete:
            break;
        case TrackHeader::Read::kUnknownVersion:
            return Fail(QuickTimeFault::kVideoHeaderVersion);
        default:
            return Fail(QuickTimeFault::kVideoHeaderTooShort);
        }
        QuickTimeVideoTrack track;
        track.matrixOffset = tkhd.PayloadOffset() + header.matrixOffset;
        track.trackId = header.trackId;
        track.widthFixed = header.widthFixed;
        track.heightFixed = header.heightFixed;
        track.matrix = header.matrix;
        m_result.videoTracks.push_back(track);
        return true;
    }

    QuickTimeStructure& m_result;
};

} // namespace

bool HandlerWalk::ReadHandler(const Box& mdia, std::uint32_t& handler) {
    // hdlr: version and flags, a predefined (QuickTime: component type) field, then the handler type
    // (QuickTime: component subtype).
    int handlers = 0;
    return ForEachChild(mdia, mdia.PayloadOffset(), [&](const Box& box) {
        if (box.type != box::kHdlr) {
            return true;
        }
        if (!Once(handlers, QuickTimeFault::kTrackDescribedTwice)) {
            return false;
        }
        if (box.PayloadSize() < 12) {
            return Fail(QuickTimeFault::kHandlerDamaged);
        }
        const std::uint8_t* bytes = Bytes(box.PayloadOffset() + 8, 4);
        if (bytes == nullptr) {
            return false;
        }
        handler = Be32(bytes);
        return handler != 0 || Fail(QuickTimeFault::kTrackWithoutHandler);
    });
}

QuickTimeStructure CheckQuickTimeStructure(const QuickTimeHeader& header) {
    QuickTimeStructure result;
    result.fileSize = header.fileSize;
    if (!header.WasRead()) {
        result.fault = header.fault;
        result.readError = header.readError;
        return result;
    }
    StructureWalk walk(header, result);
    if (!walk.Run()) {
        result.fault = walk.Fault();
        result.videoTracks.clear();
        return result;
    }
    result.eligible = true;
    return result;
}

QuickTimeStructure CheckQuickTimeStructure(int fd) {
    return CheckQuickTimeStructure(ReadQuickTimeHeader(fd));
}

} // namespace quarnix

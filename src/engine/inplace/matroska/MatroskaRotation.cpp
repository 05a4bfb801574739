#include "engine/inplace/matroska/MatroskaRotation.h"

#include "engine/Rotation.h"
#include "engine/inplace/matroska/MatroskaHeaderLayout.h"
#include "engine/inplace/matroska/MatroskaTags.h"
#include "engine/io/FileDescriptor.h"
#include "engine/io/PositionedIo.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/error.h>
}

namespace quarnix {

using ebml::Bytes;
using ebml::Element;

namespace {

// The ROTATE value of each video track: its TrackUID and its clockwise angle as text.
using RotateValues = std::vector<std::pair<std::uint64_t, std::string>>;

MatroskaRewrite Impossible(MatroskaFault fault) {
    MatroskaRewrite rewrite;
    rewrite.fault = fault;
    return rewrite;
}

std::string AngleText(int clockwiseDegrees) {
    return std::to_string(NormalizedDegrees(clockwiseDegrees));
}

// Gives an item new bytes, noting whether they differ from its old ones.
void Replace(MatroskaItem& item, Bytes bytes) {
    item.changed = bytes != item.bytes;
    item.bytes = std::move(bytes);
}

// The Tracks element in the header with the rotation the rule gives in every video track, whose ids and
// angles go to video; every video track must have an id.
MatroskaFault RotateTracks(const MatroskaStructure& structure, const TrackAngleRule& rule,
                           std::vector<MatroskaItem>& head, MatroskaVideoTracks& video) {
    for (MatroskaItem& item : head) {
        if (item.id != ebml::kIdTracks) {
            continue;
        }
        std::optional<Bytes> tracks = TracksWithProjection(structure.head, item.element, rule, video);
        if (!tracks) {
            return MatroskaFault::kTrackListDamaged;
        }
        Replace(item, std::move(*tracks));
    }
    if (video.uids.empty()) {
        return MatroskaFault::kNoVideoTrack;
    }
    if (std::find(video.uids.begin(), video.uids.end(), 0) != video.uids.end()) {
        return MatroskaFault::kVideoTrackWithoutId;
    }
    return MatroskaFault::kNone;
}

RotateValues RotateValuesOf(const MatroskaVideoTracks& video) {
    RotateValues values;
    for (std::size_t i = 0; i < video.uids.size(); ++i) {
        values.emplace_back(video.uids[i], AngleText(video.angles[i]));
    }
    return values;
}

// A new tag list with one ROTATE tag per video track.
MatroskaItem NewTagsItem(const RotateValues& values) {
    MatroskaItem item;
    item.id = ebml::kIdTags;
    Bytes children;
    for (const auto& [uid, value] : values) {
        ebml::AppendBytes(children, NewRotateTag(uid, value));
    }
    item.bytes = ebml::MasterElement(ebml::kIdTags, children);
    item.changed = true;
    return item;
}

// The Tags element, in the header or the tail, with one ROTATE tag per video track; without one, a new
// tag list goes at the end of the header, where every reader meets it before the media.
MatroskaFault RotateTags(const MatroskaStructure& structure, const RotateValues& values,
                         MatroskaRegions& regions) {
    bool tagsFound = false;
    for (auto [items, region] :
         {std::pair{&regions.head, &structure.head}, std::pair{&regions.tail, &structure.tail}}) {
        for (MatroskaItem& item : *items) {
            if (item.id != ebml::kIdTags) {
                continue;
            }
            std::optional<Bytes> tags = TagsWithRotation(*region, item.element, values);
            if (!tags) {
                return MatroskaFault::kTagsDamaged;
            }
            Replace(item, std::move(*tags));
            tagsFound = true;
        }
    }
    if (!tagsFound) {
        regions.head.push_back(NewTagsItem(values));
    }
    return MatroskaFault::kNone;
}

// Whether the segment's size field, as long as it is, can hold the new size.
bool SegmentSizeFits(const MatroskaStructure& structure, std::uint64_t segmentSize) {
    return structure.segmentUnknownSize || structure.segmentSizeLength >= 8 ||
           segmentSize < (std::uint64_t{1} << (7 * structure.segmentSizeLength)) - 1;
}

// The rewrite made of the laid-out items.
MatroskaRewrite Assembled(const MatroskaStructure& structure, const MatroskaRegions& regions,
                          MatroskaVideoTracks video) {
    MatroskaRewrite rewrite;
    for (const MatroskaItem& item : regions.head) {
        ebml::AppendBytes(rewrite.head, item.bytes);
    }
    for (const MatroskaItem& item : regions.tail) {
        ebml::AppendBytes(rewrite.tail, item.bytes);
    }
    if (rewrite.head.size() != structure.head.size()) {
        return Impossible(MatroskaFault::kNoRoom);
    }
    rewrite.segmentSize =
        structure.fileSize - structure.segmentData - structure.tail.size() + rewrite.tail.size();
    if (!SegmentSizeFits(structure, rewrite.segmentSize)) {
        return Impossible(MatroskaFault::kSegmentSizeTooShort);
    }
    rewrite.videoTracks = static_cast<int>(video.uids.size());
    rewrite.trackAngles = std::move(video.angles);
    rewrite.possible = true;
    return rewrite;
}

// The rotation the Tracks and Tags of a checked file carry: each video track's id and Projection rolls,
// in file order, and the ROTATE values of each track's tags.
struct FoundRotation {
    std::vector<std::uint64_t> videoUids;
    std::vector<std::vector<double>> rolls;
    std::map<std::uint64_t, std::vector<std::string>> rotateTags;
};

// Notes what a child of a Tracks or Tags element says about the rotation.
void NoteRotation(const Bytes& region, std::uint32_t parentId, const Element& child, FoundRotation& found) {
    std::optional<std::vector<Element>> fields = ebml::ChildrenOf(region, child);
    if (!fields) {
        return;
    }
    if (parentId == ebml::kIdTracks && child.id == ebml::kIdTrackEntry) {
        if (const std::optional<std::uint64_t> uid = VideoTrackUid(region, *fields)) {
            found.videoUids.push_back(*uid);
            found.rolls.push_back(ProjectionRolls(region, *fields));
        }
    } else if (parentId == ebml::kIdTags && child.id == ebml::kIdTag) {
        const std::optional<std::uint64_t> track = TrackOfTag(region, *fields);
        for (const Element& field : *fields) {
            const std::optional<std::string_view> rotate =
                field.id == ebml::kIdSimpleTag ? RotateValue(region, field) : std::nullopt;
            if (track && rotate) {
                found.rotateTags[*track].emplace_back(*rotate);
            }
        }
    }
}

// Reads the rotation from the Tracks and Tags in the header and the tail; false when one cannot be parsed.
bool FindRotation(const MatroskaStructure& structure, FoundRotation& found) {
    for (std::size_t i = 0; i < structure.elements.size(); ++i) {
        const bool inHead = i < structure.firstCluster;
        const std::uint32_t id = structure.elements[i].id;
        if ((!inHead && i <= structure.lastCluster) || (id != ebml::kIdTracks && id != ebml::kIdTags)) {
            continue;
        }
        const Bytes& region = inHead ? structure.head : structure.tail;
        const std::uint64_t regionStart = inHead ? structure.segmentData : structure.TailStart();
        const std::optional<Element> element =
            ebml::ElementAt(region, structure.elements[i].start - regionStart);
        std::optional<std::vector<Element>> children;
        if (element) {
            children = ebml::ChildrenOf(region, *element);
        }
        if (!children) {
            return false;
        }
        for (const Element& child : *children) {
            NoteRotation(region, element->id, child, found);
        }
    }
    return true;
}

// Writes the segment's new size into its size field, which keeps its length.
int WriteSegmentSize(int fd, const MatroskaStructure& structure, std::uint64_t segmentSize) {
    const int length = structure.segmentSizeLength;
    const std::uint64_t marked = segmentSize | (std::uint64_t{1} << (7 * length));
    std::uint8_t field[8] = {};
    for (int i = 0; i < length; ++i) {
        field[i] = static_cast<std::uint8_t>(marked >> (8 * (length - 1 - i)));
    }
    return WriteExactlyAt(fd, structure.segmentSizeOffset, field, static_cast<std::size_t>(length));
}

} // namespace

MatroskaRewrite PlanMatroskaRotation(const MatroskaStructure& structure, const Turn& turn) {
    return PlanMatroskaRotation(structure, [turn](std::size_t, int current) {
        return TurnedTransform(turn, DisplayTransform{current, false}).clockwise;
    });
}

MatroskaRewrite PlanMatroskaRotation(const MatroskaStructure& structure, const TrackAngleRule& rule) {
    if (!structure.eligible) {
        return Impossible(structure.fault);
    }
    std::optional<MatroskaRegions> regions = RegionsOf(structure);
    if (!regions) {
        return Impossible(MatroskaFault::kDamaged);
    }
    MatroskaVideoTracks video;
    MatroskaFault fault = RotateTracks(structure, rule, regions->head, video);
    if (fault == MatroskaFault::kNone) {
        fault = RotateTags(structure, RotateValuesOf(video), *regions);
    }
    if (fault == MatroskaFault::kNone) {
        fault = LayOutRegions(structure, *regions);
    }
    return fault == MatroskaFault::kNone ? Assembled(structure, *regions, std::move(video))
                                         : Impossible(fault);
}

int WriteMatroskaRewrite(int fd, const MatroskaStructure& structure, const MatroskaRewrite& rewrite) {
    if (int error = WriteExactlyAt(fd, structure.segmentData, rewrite.head.data(), rewrite.head.size());
        error) {
        return error;
    }
    if (int error = WriteExactlyAt(fd, structure.TailStart(), rewrite.tail.data(), rewrite.tail.size());
        error) {
        return error;
    }
    const std::uint64_t end = structure.TailStart() + rewrite.tail.size();
    if (end < structure.fileSize && ftruncate(fd, static_cast<off_t>(end)) != 0) {
        return errno;
    }
    return structure.segmentUnknownSize ? 0 : WriteSegmentSize(fd, structure, rewrite.segmentSize);
}

bool HoldsMatroskaRotation(const MatroskaStructure& structure, const std::vector<int>& trackAngles) {
    FoundRotation found;
    if (!structure.eligible || !FindRotation(structure, found) || found.videoUids.empty() ||
        found.videoUids.size() != trackAngles.size()) {
        return false;
    }
    for (std::size_t i = 0; i < found.videoUids.size(); ++i) {
        if (found.rolls[i] != std::vector<double>{RollFor(trackAngles[i])} ||
            found.rotateTags[found.videoUids[i]] != std::vector<std::string>{AngleText(trackAngles[i])}) {
            return false;
        }
    }
    return true;
}

int SetMatroskaRotation(const std::string& utf8Path, const std::vector<int>& trackAngles) {
    FileDescriptor file(open(utf8Path.c_str(), O_RDWR | O_CLOEXEC));
    if (file.get() < 0) {
        return AVERROR(errno);
    }
    if (int rc = SetMatroskaRotationOf(file.get(), trackAngles); rc < 0) {
        return rc;
    }
    const int closeError = file.Close();
    return closeError != 0 ? AVERROR(closeError) : 0;
}

int SetMatroskaRotationOf(int fd, const std::vector<int>& trackAngles) {
    const MatroskaStructure structure = CheckMatroskaStructure(fd);
    if (structure.readError != 0) {
        return AVERROR(structure.readError);
    }
    const MatroskaRewrite rewrite = PlanMatroskaRotation(structure, [&](std::size_t track, int) {
        return track < trackAngles.size() ? trackAngles[track] : 0;
    });
    if (!rewrite.possible) {
        return rewrite.fault == MatroskaFault::kNoRoom ? AVERROR(ENOSPC) : AVERROR_INVALIDDATA;
    }
    if (rewrite.trackAngles != trackAngles) {
        return AVERROR_INVALIDDATA; // the file's video tracks are not the streams the angles were made for
    }
    if (int error = WriteMatroskaRewrite(fd, structure, rewrite); error != 0) {
        return AVERROR(error);
    }
    // Read back: the clusters were not written, so only the header and the tail are walked again.
    return HoldsMatroskaRotation(RecheckRewrittenMatroska(fd, structure), trackAngles) ? 0 : AVERROR(EIO);
}

} // namespace quarnix

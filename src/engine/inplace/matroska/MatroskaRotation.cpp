#include "engine/inplace/matroska/MatroskaRotation.h"

#include "engine/Rotation.h"
#include "engine/inplace/matroska/MatroskaTags.h"
#include "engine/io/FileDescriptor.h"
#include "engine/io/PositionedIo.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string_view>

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

// ---- Tracks ------------------------------------------------------------------------------------------

// The Projection's roll for a clockwise angle: a positive roll turns the picture counter-clockwise; the
// value stays within -180..180.
float RollFor(int clockwiseDegrees) {
    float roll = static_cast<float>(-NormalizedDegrees(clockwiseDegrees));
    return roll < -180.0f ? roll + 360.0f : roll;
}

// The TrackUID of a track entry (given by its fields) when it is a video track (0 when it names none).
std::optional<std::uint64_t> VideoTrackUid(const Bytes& buffer, const std::vector<Element>& fields) {
    bool isVideo = false;
    std::uint64_t uid = 0;
    for (const Element& field : fields) {
        isVideo = isVideo || (field.id == ebml::kIdTrackType &&
                              ebml::UnsignedValue(buffer, field) == ebml::kTrackTypeVideo);
        uid = field.id == ebml::kIdTrackUid ? ebml::UnsignedValue(buffer, field) : uid;
    }
    return isVideo ? std::optional<std::uint64_t>(uid) : std::nullopt;
}

// The ProjectionPoseRoll element for a clockwise angle.
Bytes RollElement(int clockwiseDegrees) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(RollFor(clockwiseDegrees));
    Bytes data;
    for (int i = 3; i >= 0; --i) {
        data.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
    return ebml::MasterElement(ebml::kIdProjectionPoseRoll, data);
}

// The Video element of a video track with the rotation: an existing Projection keeps everything but its
// roll (a spherical video stays spherical), a missing one is added as a flat one; doubles are dropped.
std::optional<Bytes> VideoWithProjection(const Bytes& buffer, const Element& video, int clockwiseDegrees) {
    std::optional<std::vector<Element>> videoFields = ebml::ChildrenOf(buffer, video);
    if (!videoFields) {
        return std::nullopt;
    }
    Bytes videoData;
    bool projected = false;
    for (const Element& videoField : *videoFields) {
        if (videoField.id != ebml::kIdProjection) {
            ebml::AppendRange(videoData, buffer, videoField.start, videoField.End());
            continue;
        }
        if (projected) {
            continue;
        }
        std::optional<std::vector<Element>> fields = ebml::ChildrenOf(buffer, videoField);
        if (!fields) {
            return std::nullopt;
        }
        Bytes projection;
        for (const Element& field : *fields) {
            if (field.id != ebml::kIdProjectionPoseRoll && field.id != ebml::kIdCrc32) {
                ebml::AppendRange(projection, buffer, field.start, field.End());
            }
        }
        ebml::AppendBytes(projection, RollElement(clockwiseDegrees));
        ebml::AppendBytes(videoData, ebml::MasterElement(ebml::kIdProjection, projection));
        projected = true;
    }
    if (!projected) {
        ebml::AppendBytes(videoData, ProjectionElement(clockwiseDegrees));
    }
    return ebml::MasterElement(ebml::kIdVideo, videoData);
}

std::vector<double> ProjectionRolls(const Bytes& buffer, const std::vector<Element>& trackFields);

// The clockwise angle a track's Projection shows now (0 without one, or with one that cannot be read).
int CurrentClockwise(const Bytes& buffer, const std::vector<Element>& trackFields) {
    const std::vector<double> rolls = ProjectionRolls(buffer, trackFields);
    return rolls.empty() || std::abs(rolls.front()) > 360.0 ? 0 : ClockwiseOfRoll(rolls.front());
}

// The Tracks element with the rotation the rule gives in every video track, and the ids (TrackUID) and
// new angles of the video tracks; nullopt when it cannot be parsed or a video track has not exactly one
// Video element.
std::optional<Bytes> TracksWithProjection(const Bytes& buffer, const Element& tracks,
                                          const TrackAngleRule& rule, std::vector<std::uint64_t>& videoUids,
                                          std::vector<int>& angles) {
    std::optional<std::vector<Element>> entries = ebml::ChildrenOf(buffer, tracks);
    if (!entries) {
        return std::nullopt;
    }
    bool hadCrc = false;
    Bytes children;
    for (const Element& entry : *entries) {
        if (entry.id == ebml::kIdCrc32) {
            hadCrc = true;
            continue;
        }
        std::optional<std::vector<Element>> fields;
        if (entry.id == ebml::kIdTrackEntry) {
            fields = ebml::ChildrenOf(buffer, entry);
            if (!fields) {
                return std::nullopt;
            }
        }
        const std::optional<std::uint64_t> uid = fields ? VideoTrackUid(buffer, *fields) : std::nullopt;
        if (!uid) {
            ebml::AppendRange(children, buffer, entry.start, entry.End());
            continue;
        }
        const int clockwiseDegrees =
            NormalizedDegrees(rule(videoUids.size(), CurrentClockwise(buffer, *fields)));
        videoUids.push_back(*uid);
        angles.push_back(clockwiseDegrees);
        Bytes entryData;
        int videoElements = 0;
        for (const Element& field : *fields) {
            videoElements += field.id == ebml::kIdVideo ? 1 : 0;
        }
        if (videoElements != 1) {
            return std::nullopt; // the picture description, where the Projection belongs, is missing or
                                 // doubled
        }
        for (const Element& field : *fields) {
            if (field.id != ebml::kIdVideo) {
                ebml::AppendRange(entryData, buffer, field.start, field.End());
                continue;
            }
            std::optional<Bytes> video = VideoWithProjection(buffer, field, clockwiseDegrees);
            if (!video) {
                return std::nullopt;
            }
            ebml::AppendBytes(entryData, *video);
        }
        ebml::AppendBytes(children, ebml::MasterElement(ebml::kIdTrackEntry, entryData));
    }
    return ebml::WithCrc(ebml::kIdTracks, hadCrc, children);
}

// ---- Seek heads --------------------------------------------------------------------------------------

// Maps a seek position (relative to the segment's data) of the old file to the new one; nullopt when it
// points at no element the rewrite knows.
using PositionMap = std::function<std::optional<std::uint64_t>(std::uint64_t)>;

// The seek head with every position mapped and the added entries (id, new position) at its end; its
// bytes unchanged when nothing changed.
std::optional<Bytes> RebuildSeekHead(const Bytes& buffer, const Element& seekHead, const PositionMap& map,
                                     const std::vector<std::pair<std::uint32_t, std::uint64_t>>& added) {
    std::optional<std::vector<Element>> children = ebml::ChildrenOf(buffer, seekHead);
    if (!children) {
        return std::nullopt;
    }
    bool hadCrc = false;
    bool changed = !added.empty();
    Bytes out;
    for (const Element& child : *children) {
        if (child.id == ebml::kIdCrc32) {
            hadCrc = true;
            continue;
        }
        if (child.id != ebml::kIdSeek) {
            ebml::AppendRange(out, buffer, child.start, child.End());
            continue;
        }
        std::optional<std::vector<Element>> fields = ebml::ChildrenOf(buffer, child);
        if (!fields) {
            return std::nullopt;
        }
        bool seekHadCrc = false;
        bool seekChanged = false;
        Bytes seekData;
        for (const Element& field : *fields) {
            if (field.id == ebml::kIdCrc32) {
                seekHadCrc = true;
                continue;
            }
            if (field.id != ebml::kIdSeekPosition) {
                ebml::AppendRange(seekData, buffer, field.start, field.End());
                continue;
            }
            const std::uint64_t old = ebml::UnsignedValue(buffer, field);
            const std::optional<std::uint64_t> moved = map(old);
            if (!moved) {
                return std::nullopt;
            }
            seekChanged = seekChanged || *moved != old;
            // The same number of bytes as before where the value fits.
            ebml::AppendBytes(seekData, ebml::UnsignedElement(ebml::kIdSeekPosition, *moved,
                                                              static_cast<std::size_t>(field.size)));
        }
        if (seekChanged) {
            ebml::AppendBytes(out, ebml::WithCrc(ebml::kIdSeek, seekHadCrc, seekData, child.SizeLength()));
            changed = true;
        } else {
            ebml::AppendRange(out, buffer, child.start, child.End());
        }
    }
    for (const auto& [id, position] : added) {
        Bytes idBytes;
        ebml::AppendId(idBytes, id);
        Bytes seekData = ebml::MasterElement(ebml::kIdSeekId, idBytes);
        ebml::AppendBytes(seekData, ebml::UnsignedElement(ebml::kIdSeekPosition, position));
        ebml::AppendBytes(out, ebml::MasterElement(ebml::kIdSeek, seekData));
    }
    if (!changed) {
        return Bytes(buffer.begin() + static_cast<std::ptrdiff_t>(seekHead.start),
                     buffer.begin() + static_cast<std::ptrdiff_t>(seekHead.End()));
    }
    return ebml::WithCrc(ebml::kIdSeekHead, hadCrc, out, seekHead.SizeLength());
}

// ---- Layout ------------------------------------------------------------------------------------------

constexpr std::uint64_t kNewElement = UINT64_MAX;

// One level-1 element of the rewritten header or tail.
struct Item {
    std::uint32_t id = 0;
    std::uint64_t oldStart = kNewElement; // absolute offset in the old file
    Element element;                      // where it lies in the region buffer (old elements)
    Bytes bytes;                          // its new bytes
    bool changed = false;
};

// The level-1 elements of a region (head or tail) as items holding their own bytes.
std::optional<std::vector<Item>> ItemsOf(const MatroskaStructure& structure, const Bytes& region,
                                         std::uint64_t regionStart, std::size_t from, std::size_t to) {
    std::vector<Item> items;
    for (std::size_t i = from; i < to; ++i) {
        const MatroskaLevel1& level1 = structure.elements[i];
        std::optional<Element> element = ebml::ElementAt(region, level1.start - regionStart);
        if (!element || element->End() != level1.End() - regionStart) {
            return std::nullopt;
        }
        Item item;
        item.id = level1.id;
        item.oldStart = level1.start;
        item.element = *element;
        item.bytes.assign(region.begin() + static_cast<std::ptrdiff_t>(element->start),
                          region.begin() + static_cast<std::ptrdiff_t>(element->End()));
        items.push_back(std::move(item));
    }
    return items;
}

MatroskaRewrite Impossible(std::string reason) {
    MatroskaRewrite rewrite;
    rewrite.reason = std::move(reason);
    return rewrite;
}

MatroskaRewrite NoRoom() {
    MatroskaRewrite rewrite = Impossible("the Matroska header has no room for the rotation");
    rewrite.noRoom = true;
    return rewrite;
}

std::string AngleText(int clockwiseDegrees) {
    return std::to_string(NormalizedDegrees(clockwiseDegrees));
}

// The rolls of every Projection in a track entry's Video elements (0 for one without a roll, a value no
// angle gives for one that cannot be read).
std::vector<double> ProjectionRolls(const Bytes& buffer, const std::vector<Element>& trackFields) {
    std::vector<double> rolls;
    for (const Element& field : trackFields) {
        std::optional<std::vector<Element>> videoFields;
        if (field.id == ebml::kIdVideo) {
            videoFields = ebml::ChildrenOf(buffer, field);
        }
        for (const Element& videoField : videoFields.value_or(std::vector<Element>{})) {
            if (videoField.id != ebml::kIdProjection) {
                continue;
            }
            std::optional<std::vector<Element>> projection = ebml::ChildrenOf(buffer, videoField);
            double roll = projection ? 0.0 : 1000.0;
            for (const Element& value : projection.value_or(std::vector<Element>{})) {
                if (value.id == ebml::kIdProjectionPoseRoll && value.size == 4) {
                    roll =
                        std::bit_cast<float>(static_cast<std::uint32_t>(ebml::UnsignedValue(buffer, value)));
                } else if (value.id == ebml::kIdProjectionPoseRoll && value.size == 8) {
                    roll = std::bit_cast<double>(ebml::UnsignedValue(buffer, value));
                }
            }
            rolls.push_back(roll);
        }
    }
    return rolls;
}

} // namespace

MatroskaRewrite PlanMatroskaRotation(const MatroskaStructure& structure, const Turn& turn) {
    return PlanMatroskaRotation(structure, [turn](std::size_t, int current) {
        return TurnedTransform(turn, DisplayTransform{current, false}).clockwise;
    });
}

MatroskaRewrite PlanMatroskaRotation(const MatroskaStructure& structure, const TrackAngleRule& rule) {
    if (!structure.eligible) {
        return Impossible(structure.reason);
    }
    std::optional<std::vector<Item>> head =
        ItemsOf(structure, structure.head, structure.segmentData, 0, structure.firstCluster);
    std::optional<std::vector<Item>> tail = ItemsOf(structure, structure.tail, structure.TailStart(),
                                                    structure.lastCluster + 1, structure.elements.size());
    if (!head || !tail) {
        return Impossible("the Matroska structure is damaged");
    }

    // The tracks with their Projection, and the tags with their ROTATE.
    std::vector<std::uint64_t> videoUids;
    std::vector<int> angles;
    bool tagsFound = false;
    for (Item& item : *head) {
        if (item.id != ebml::kIdTracks) {
            continue;
        }
        std::optional<Bytes> tracks =
            TracksWithProjection(structure.head, item.element, rule, videoUids, angles);
        if (!tracks) {
            return Impossible("the file's track list is damaged");
        }
        item.changed = *tracks != item.bytes;
        item.bytes = std::move(*tracks);
    }
    if (videoUids.empty()) {
        return Impossible("the file has no video track");
    }
    if (std::find(videoUids.begin(), videoUids.end(), 0) != videoUids.end()) {
        return Impossible("a video track of the file has no id");
    }
    std::vector<std::pair<std::uint64_t, std::string>> values;
    for (std::size_t i = 0; i < videoUids.size(); ++i) {
        values.emplace_back(videoUids[i], AngleText(angles[i]));
    }
    for (auto [items, region] : {std::pair{&*head, &structure.head}, std::pair{&*tail, &structure.tail}}) {
        for (Item& item : *items) {
            if (item.id != ebml::kIdTags) {
                continue;
            }
            std::optional<Bytes> tags = TagsWithRotation(*region, item.element, values);
            if (!tags) {
                return Impossible("the file's tags are damaged");
            }
            item.changed = *tags != item.bytes;
            item.bytes = std::move(*tags);
            tagsFound = true;
        }
    }
    if (!tagsFound) {
        // A new tag list goes at the end of the header, where every reader meets it before the media.
        Item item;
        item.id = ebml::kIdTags;
        Bytes children;
        for (const auto& [uid, value] : values) {
            ebml::AppendBytes(children, NewRotateTag(uid, value));
        }
        item.bytes = ebml::MasterElement(ebml::kIdTags, children);
        item.changed = true;
        head->push_back(std::move(item));
    }

    // The Void that takes up the header's change in size: the last one before the first changed element
    // (as muxers reserve it), else the first one after.
    std::optional<std::size_t> firstChanged;
    std::optional<std::size_t> lastChanged;
    for (std::size_t i = 0; i < head->size(); ++i) {
        if ((*head)[i].changed) {
            firstChanged = firstChanged.value_or(i);
            lastChanged = i;
        }
    }
    std::optional<std::size_t> spare;
    for (std::size_t i = 0; i < head->size(); ++i) {
        if ((*head)[i].id == ebml::kIdVoid && (!spare || !firstChanged || i < *firstChanged)) {
            spare = i;
        }
    }

    // Lays the elements out, maps the seek positions and rebuilds the seek heads until their sizes settle.
    const std::uint64_t headSize = structure.head.size();
    const std::uint64_t headStart = structure.segmentData;
    const std::uint64_t middleStart = structure.HeadEnd();
    const std::uint64_t middleEnd = structure.TailStart();
    std::uint64_t spareSize = 0;
    for (int round = 0;; ++round) {
        if (round == 6) {
            return Impossible("the file's seek head cannot be rewritten");
        }
        std::uint64_t fixed = 0;
        for (std::size_t i = 0; i < head->size(); ++i) {
            fixed += spare && i == *spare ? 0 : (*head)[i].bytes.size();
        }
        if (spare) {
            if (fixed > headSize || headSize - fixed == 1) {
                return NoRoom();
            }
            spareSize = headSize - fixed;
            (*head)[*spare].bytes = ebml::VoidElement(static_cast<std::size_t>(spareSize));
        } else if (fixed != headSize) {
            if (fixed > headSize || headSize - fixed == 1) {
                return NoRoom();
            }
            // Smaller than before, and no Void: one takes the difference, after the last changed element.
            Item filler;
            filler.id = ebml::kIdVoid;
            filler.bytes = ebml::VoidElement(static_cast<std::size_t>(headSize - fixed));
            const std::size_t at = lastChanged.value_or(head->size() - 1) + 1;
            head->insert(head->begin() + static_cast<std::ptrdiff_t>(at), std::move(filler));
            spare = at;
            continue;
        }
        std::map<std::uint64_t, std::uint64_t> moved;
        std::uint64_t newTags = kNewElement;
        std::uint64_t at = headStart;
        for (const Item& item : *head) {
            if (item.oldStart != kNewElement) {
                moved[item.oldStart] = at;
            } else if (item.id == ebml::kIdTags) {
                newTags = at;
            }
            at += item.bytes.size();
        }
        at = middleEnd;
        for (const Item& item : *tail) {
            moved[item.oldStart] = at;
            at += item.bytes.size();
        }
        const std::uint64_t segmentData = structure.segmentData;
        const PositionMap map = [&](std::uint64_t position) -> std::optional<std::uint64_t> {
            const std::uint64_t absolute = segmentData + position;
            if (absolute >= middleStart && absolute < middleEnd) {
                return position;
            }
            const auto found = moved.find(absolute);
            return found == moved.end() ? std::nullopt
                                        : std::optional<std::uint64_t>(found->second - segmentData);
        };
        bool settled = true;
        bool firstSeekHead = true;
        for (auto [items, region] :
             {std::pair{&*head, &structure.head}, std::pair{&*tail, &structure.tail}}) {
            for (Item& item : *items) {
                if (item.id == ebml::kIdSeekHead && item.oldStart != kNewElement) {
                    std::vector<std::pair<std::uint32_t, std::uint64_t>> added;
                    if (firstSeekHead && newTags != kNewElement) {
                        added.emplace_back(ebml::kIdTags, newTags - segmentData);
                    }
                    firstSeekHead = false;
                    std::optional<Bytes> rebuilt = RebuildSeekHead(*region, item.element, map, added);
                    if (!rebuilt) {
                        return Impossible("the file's seek head points outside its elements");
                    }
                    item.changed = *rebuilt != item.bytes || item.changed;
                    settled = settled && rebuilt->size() == item.bytes.size();
                    item.bytes = std::move(*rebuilt);
                }
            }
        }
        if (settled) {
            break;
        }
    }

    MatroskaRewrite rewrite;
    for (const Item& item : *head) {
        ebml::AppendBytes(rewrite.head, item.bytes);
    }
    for (const Item& item : *tail) {
        ebml::AppendBytes(rewrite.tail, item.bytes);
    }
    if (rewrite.head.size() != headSize) {
        return NoRoom();
    }
    rewrite.segmentSize =
        structure.fileSize - structure.segmentData - structure.tail.size() + rewrite.tail.size();
    if (!structure.segmentUnknownSize && structure.segmentSizeLength < 8 &&
        rewrite.segmentSize >= (std::uint64_t{1} << (7 * structure.segmentSizeLength)) - 1) {
        return Impossible("the Matroska segment's size field is too short");
    }
    rewrite.videoTracks = static_cast<int>(videoUids.size());
    rewrite.trackAngles = std::move(angles);
    rewrite.possible = true;
    return rewrite;
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
    if (!structure.segmentUnknownSize) {
        const int length = structure.segmentSizeLength;
        const std::uint64_t marked = rewrite.segmentSize | (std::uint64_t{1} << (7 * length));
        std::uint8_t field[8] = {};
        for (int i = 0; i < length; ++i) {
            field[i] = static_cast<std::uint8_t>(marked >> (8 * (length - 1 - i)));
        }
        if (int error =
                WriteExactlyAt(fd, structure.segmentSizeOffset, field, static_cast<std::size_t>(length));
            error) {
            return error;
        }
    }
    return 0;
}

bool HoldsMatroskaRotation(const MatroskaStructure& structure, const std::vector<int>& trackAngles) {
    if (!structure.eligible) {
        return false;
    }
    std::vector<std::uint64_t> videoUids;
    std::map<std::uint64_t, std::vector<std::string>> rotateTags;
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
        if (!element) {
            return false;
        }
        std::optional<std::vector<Element>> children = ebml::ChildrenOf(region, *element);
        if (!children) {
            return false;
        }
        for (const Element& child : *children) {
            std::optional<std::vector<Element>> fields = ebml::ChildrenOf(region, child);
            if (element->id == ebml::kIdTracks && child.id == ebml::kIdTrackEntry && fields) {
                if (const std::optional<std::uint64_t> uid = VideoTrackUid(region, *fields)) {
                    if (videoUids.size() >= trackAngles.size()) {
                        return false;
                    }
                    const double expectedRoll = RollFor(trackAngles[videoUids.size()]);
                    videoUids.push_back(*uid);
                    if (ProjectionRolls(region, *fields) != std::vector<double>{expectedRoll}) {
                        return false;
                    }
                }
            } else if (element->id == ebml::kIdTags && child.id == ebml::kIdTag && fields) {
                const std::optional<std::uint64_t> track = TrackOfTag(region, *fields);
                for (const Element& field : *fields) {
                    const std::optional<std::string_view> rotate =
                        field.id == ebml::kIdSimpleTag ? RotateValue(region, field) : std::nullopt;
                    if (track && rotate) {
                        rotateTags[*track].emplace_back(*rotate);
                    }
                }
            }
        }
    }
    if (videoUids.empty() || videoUids.size() != trackAngles.size()) {
        return false;
    }
    for (std::size_t i = 0; i < videoUids.size(); ++i) {
        if (rotateTags[videoUids[i]] != std::vector<std::string>{AngleText(trackAngles[i])}) {
            return false;
        }
    }
    return true;
}

ebml::Bytes ProjectionElement(int clockwiseDegrees) {
    Bytes data = ebml::UnsignedElement(ebml::kIdProjectionType, 0); // rectangular: a flat picture
    ebml::AppendBytes(data, RollElement(clockwiseDegrees));
    return ebml::MasterElement(ebml::kIdProjection, data);
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
        return rewrite.noRoom ? AVERROR(ENOSPC) : AVERROR_INVALIDDATA;
    }
    if (rewrite.trackAngles != trackAngles) {
        return AVERROR_INVALIDDATA; // the file's video tracks are not the streams the angles were made for
    }
    if (int error = WriteMatroskaRewrite(fd, structure, rewrite); error != 0) {
        return AVERROR(error);
    }
    return HoldsMatroskaRotation(CheckMatroskaStructure(fd), trackAngles) ? 0 : AVERROR(EIO);
}

} // namespace quarnix

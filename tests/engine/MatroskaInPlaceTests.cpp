// Rotation of Matroska and WebM files by rewriting their header in a copy of the input.
#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaFacts.h"
#include "engine/batch/FailureReason.h"
#include "engine/inplace/MarkInPlace.h"
#include "engine/inplace/matroska/MatroskaRotation.h"
#include "engine/io/FileDescriptor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace quarnix::test {
namespace {

std::string Mkv(const std::string& name, const std::string& args) {
    return MediaFixture(name, kMarkerVideo + kTone + args);
}

// The IEEE CRC-32 that Matroska's CRC-32 elements hold, computed bit by bit (independent of the library).
std::uint32_t Crc32(const ebml::Bytes& bytes, std::size_t from, std::size_t to) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = from; i < to; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

// Every level-1 element of the header and tail that starts with a CRC-32 holds the right one. Returns how
// many were checked.
int CheckCrcs(const MatroskaStructure& structure) {
    int checked = 0;
    for (std::size_t i = 0; i < structure.elements.size(); ++i) {
        const bool inHead = i < structure.firstCluster;
        if (!inHead && i <= structure.lastCluster) {
            continue;
        }
        const ebml::Bytes& region = inHead ? structure.head : structure.tail;
        const std::uint64_t regionStart = inHead ? structure.segmentData : structure.TailStart();
        const auto element = ebml::ElementAt(region, structure.elements[i].start - regionStart);
        const auto crc = element ? ebml::ElementAt(region, element->dataStart) : std::nullopt;
        if (!crc || crc->id != ebml::kIdCrc32 || crc->size != 4) {
            continue;
        }
        std::uint32_t stored = 0;
        for (int b = 3; b >= 0; --b) {
            stored = (stored << 8) | region[crc->dataStart + static_cast<std::size_t>(b)];
        }
        EXPECT_EQ(stored, Crc32(region, crc->End(), element->End())) << "element at " << element->start;
        ++checked;
    }
    return checked;
}

MatroskaStructure StructureOf(const std::string& path) {
    const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return CheckMatroskaStructure(fd.get());
}

MarkAttempt MarkInto(const std::string& input, const std::string& output, int angle) {
    return MarkFileInPlace(InPlaceFamily::kMatroska, input, output, angle);
}

// A Matroska file as mkvmerge writes it (tags after the clusters, chapters, an attachment, subtitles),
// made in the test's own folder.
std::string MkvmergeFile(const ScopedTempDir& dir) {
    const std::string chapters = dir.file("chapters.txt");
    std::ofstream(chapters) << "CHAPTER01=00:00:00.000\nCHAPTER01NAME=First\n"
                               "CHAPTER02=00:00:01.000\nCHAPTER02NAME=Second\n";
    const std::string note = dir.file("note.txt");
    std::ofstream(note) << "kept as an attachment\n";
    const std::string output = dir.file("mkvmerge.mkv");
    std::string log;
    EXPECT_EQ(RunCommand("mkvmerge -q -o " + ShellQuote(output) + " --chapters " + ShellQuote(chapters) +
                             " --attachment-mime-type text/plain --attach-file " + ShellQuote(note) + " " +
                             ShellQuote(MkvWithSubtitle()) + " 2>&1",
                         &log),
              0)
        << log;
    return output;
}

// An input rotated once already (by this path), to be rotated again.
std::string AlreadyRotated(const ScopedTempDir& dir) {
    const std::string once = dir.file("once.mkv");
    EXPECT_EQ(MarkInto(MarkerClip("mkv"), once, 90).outcome, MarkInPlaceOutcome::Marked);
    return once;
}

struct MatroskaCase {
    std::string name;
    std::function<std::string(const ScopedTempDir&)> input;
    int angle;
    std::size_t videoTracks;
    bool crcs = true; // the header has CRC-32 elements (ffmpeg writes them, mkvmerge does not)
};

void PrintTo(const MatroskaCase& value, std::ostream* os) {
    *os << value.name;
}

class MatroskaInPlace : public ::testing::TestWithParam<MatroskaCase> {};

// The clusters are the input's bytes at the input's offsets; mkvinfo and the library read the rotation on
// every video track, once; every stream's packets are the input's; the CRC-32s hold.
TEST_P(MatroskaInPlace, KeepsTheClustersAndReadersSeeTheAngle) {
    const MatroskaCase& param = GetParam();
    if (!HasTool("mkvinfo") || !HasTool("mkvmerge")) {
        GTEST_SKIP() << "mkvtoolnix is not installed";
    }
    ScopedTempDir dir;
    const std::string input = param.input(dir);
    ASSERT_FALSE(input.empty());
    const std::string output = dir.file("output" + std::filesystem::path(input).extension().string());
    const MarkAttempt result = MarkInto(input, output, param.angle);
    ASSERT_EQ(result.outcome, MarkInPlaceOutcome::Marked) << result.reason;

    const MatroskaStructure before = StructureOf(input);
    const MatroskaStructure after = StructureOf(output);
    ASSERT_TRUE(before.eligible && after.eligible) << PlainMatroskaReason(after.fault);
    ASSERT_EQ(after.HeadEnd(), before.HeadEnd());
    ASSERT_EQ(after.TailStart(), before.TailStart());
    const std::string in = ReadFileBytes(input);
    const std::string out = ReadFileBytes(output);
    const std::size_t media = before.HeadEnd();
    EXPECT_TRUE(in.compare(0, before.segmentSizeOffset, out, 0, before.segmentSizeOffset) == 0)
        << "the EBML header changed";
    EXPECT_TRUE(in.compare(media, before.TailStart() - media, out, media, before.TailStart() - media) == 0)
        << "a byte of the clusters changed";
    EXPECT_EQ(CheckCrcs(after) > 0, param.crcs);

    const MkvInfo info = ReadMkvInfo(output);
    const std::string roll = param.angle == 90 ? "-90" : param.angle == 180 ? "-180" : "90";
    EXPECT_EQ(info.rolls, std::vector<std::string>(param.videoTracks, roll));
    EXPECT_EQ(info.rotateTags, std::vector<std::string>(param.videoTracks, std::to_string(param.angle)));
    EXPECT_EQ(info.complaints, std::vector<std::string>{});

    const FileFacts facts = ReadMediaFacts(output);
    const FileFacts inputFacts = ReadMediaFacts(input);
    ASSERT_EQ(facts.streams.size(), inputFacts.streams.size());
    ASSERT_EQ(facts.OfKind("video").size(), param.videoTracks);
    for (const StreamFacts& video : facts.OfKind("video")) {
        ASSERT_TRUE(video.matrixAngle.has_value());
        EXPECT_NEAR(std::fmod(-*video.matrixAngle + 360.0, 360.0), param.angle, 0.01);
    }
    for (std::size_t i = 0; i < facts.streams.size(); ++i) {
        EXPECT_EQ(facts.streams[i].kind, inputFacts.streams[i].kind) << "stream " << i;
        EXPECT_EQ(facts.streams[i].payloadHash, inputFacts.streams[i].payloadHash) << "stream " << i;
    }
    const char* corner = param.angle == 90    ? "top-right"
                         : param.angle == 180 ? "bottom-right"
                                              : "bottom-left";
    EXPECT_EQ(DisplayedMarkerCorner(output, param.angle), corner);
    std::string decodeLog;
    RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(output) + " -map 0:v -map 0:a? -f null - 2>&1",
               &decodeLog);
    EXPECT_EQ(decodeLog, "");
    std::string chapters;
    std::string inputChapters;
    RunCommand("ffprobe -v error -show_chapters -of compact " + ShellQuote(output), &chapters);
    RunCommand("ffprobe -v error -show_chapters -of compact " + ShellQuote(input), &inputChapters);
    EXPECT_EQ(chapters, inputChapters);
}

INSTANTIATE_TEST_SUITE_P(
    Matroska, MatroskaInPlace,
    ::testing::Values(
        MatroskaCase{"mkv_from_ffmpeg_with_crcs", [](const ScopedTempDir&) { return MarkerClip("mkv"); }, 90,
                     1},
        MatroskaCase{"webm",
                     [](const ScopedTempDir&) {
                         return Mkv("marker.webm",
                                    "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -c:a libopus");
                     },
                     270, 1, false},
        MatroskaCase{"mkv_from_mkvmerge_tags_at_the_end", MkvmergeFile, 180, 1, false},
        MatroskaCase{"mkv_already_rotated", AlreadyRotated, 270, 1},
        MatroskaCase{"mkv_two_video_tracks",
                     [](const ScopedTempDir&) {
                         return MediaFixture("two-videos.mkv", kMarkerVideo + "-map 0:v -map 0:v " + kH264);
                     },
                     180, 2},
        MatroskaCase{"mkv_without_tags",
                     [](const ScopedTempDir&) {
                         return MediaFixture("untagged.mkv",
                                             kMarkerVideo + kH264 + "-map_metadata -1 -fflags +bitexact");
                     },
                     90, 1}),
    [](const auto& info) { return info.param.name; });

struct RefusedCase {
    std::string name;
    std::function<std::string(const ScopedTempDir&)> input;
    std::string reason;
};

void PrintTo(const RefusedCase& value, std::ostream* os) {
    *os << value.name;
}

class MatroskaNotInPlace : public ::testing::TestWithParam<RefusedCase> {};

// Files whose structure does not allow the header rewrite are not eligible, and nothing is written.
TEST_P(MatroskaNotInPlace, IsNotEligibleAndWritesNothing) {
    const RefusedCase& param = GetParam();
    ScopedTempDir dir;
    const std::string input = param.input(dir);
    ASSERT_FALSE(input.empty());
    const std::string output = dir.file("output.mkv");
    const MarkAttempt result = MarkInto(input, output, 90);
    EXPECT_FALSE(result.eligible);
    EXPECT_EQ(result.reason, param.reason);
    EXPECT_EQ(std::filesystem::file_size(output), 0u);
}

std::string CutShort(const ScopedTempDir& dir) {
    const std::string whole = ReadFileBytes(MarkerClip("mkv"));
    const std::string path = dir.file("short.mkv");
    std::ofstream(path, std::ios::binary) << whole.substr(0, whole.size() - 100);
    return path;
}

// Four video tracks need more room than the muxer's Void before the tracks holds.
std::string FourVideoTracks(const ScopedTempDir&) {
    return MediaFixture("four-videos.mkv", kMarkerVideo + "-map 0:v -map 0:v -map 0:v -map 0:v " + kH264);
}

// A cluster written without its size, as live recorders write them.
std::string UnknownSizeCluster(const ScopedTempDir& dir) {
    std::string bytes = ReadFileBytes(MarkerClip("mkv"));
    const std::size_t cluster = bytes.find("\x1F\x43\xB6\x75");
    if (cluster == std::string::npos) {
        return {};
    }
    const std::size_t size = cluster + 4;
    int length = 1;
    while (length < 8 && !(static_cast<unsigned char>(bytes[size]) & (0x80 >> (length - 1)))) {
        ++length;
    }
    bytes[size] = static_cast<char>(0xFF >> (length - 1));
    for (int i = 1; i < length; ++i) {
        bytes[size + static_cast<std::size_t>(i)] = static_cast<char>(0xFF);
    }
    const std::string path = dir.file("live.mkv");
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Matroska, MatroskaNotInPlace,
    ::testing::Values(RefusedCase{"cut_short", CutShort, "the file is cut short"},
                      RefusedCase{"not_matroska", [](const ScopedTempDir&) { return MarkerClip("mp4"); },
                                  "the file is not Matroska"},
                      RefusedCase{"no_room_in_the_header", FourVideoTracks,
                                  "the Matroska header has no room for the rotation"},
                      RefusedCase{"cluster_without_size", UnknownSizeCluster,
                                  "an element of the file has no size (a live recording)"}),
    [](const auto& info) { return info.param.name; });

// A Projection that is already there keeps everything but its roll: a spherical video stays spherical.
TEST(MatroskaInPlaceProjection, AnExistingProjectionKeepsItsTypeAndGetsTheNewRoll) {
    if (!HasTool("mkvinfo")) {
        GTEST_SKIP() << "mkvinfo is not installed";
    }
    ScopedTempDir dir;
    const std::string flat = dir.file("flat.mkv");
    ASSERT_EQ(MarkInto(MarkerClip("mkv"), flat, 90).outcome, MarkInPlaceOutcome::Marked);
    // ProjectionType 0 (rectangular) becomes 1 (equirectangular), in place.
    std::string bytes = ReadFileBytes(flat);
    const std::string flatType("\x76\x71\x81\x00", 4);
    const std::size_t type = bytes.find(flatType);
    ASSERT_NE(type, std::string::npos);
    bytes[type + 3] = 1;
    const std::string spherical = dir.file("spherical.mkv");
    std::ofstream(spherical, std::ios::binary) << bytes;

    const std::string output = dir.file("output.mkv");
    ASSERT_EQ(MarkInto(spherical, output, 180).outcome, MarkInPlaceOutcome::Marked);
    std::string text;
    RunCommand("mkvinfo -a " + ShellQuote(output), &text);
    EXPECT_NE(text.find("Projection type: 1"), std::string::npos) << text;
    EXPECT_EQ(ReadMkvInfo(output).rolls, std::vector<std::string>{"-180"});
    EXPECT_EQ(ReadMkvInfo(output).rotateTags, std::vector<std::string>{"180"});
}

// The read-back after a rewrite walks only the header and the tail again and takes the clusters' elements
// from the check made before the rewrite: it finds what a whole check of the file finds, also when the
// rewritten header or tail is damaged or no longer ends where the clusters begin.
TEST(MatroskaRecheck, FindsWhatAWholeCheckFinds) {
    ScopedTempDir dir;
    const std::string input = MarkerClip("mkv");
    const std::string marked = dir.file("marked.mkv");
    ASSERT_EQ(MarkInto(input, marked, 90).outcome, MarkInPlaceOutcome::Marked);
    const MatroskaStructure known = StructureOf(input);
    ASSERT_TRUE(known.eligible);
    ASSERT_LT(known.TailStart(), known.fileSize) << "the fixture has no tail";
    const MatroskaStructure written = StructureOf(marked);
    ASSERT_TRUE(written.eligible);
    // The last byte of the size field of the element at offset, one more: the element grows by a byte.
    const auto growElementAt = [](std::string& bytes, std::size_t offset) {
        const std::size_t size =
            offset + static_cast<std::size_t>(ebml::IdLength(
                         ebml::ElementAt(ebml::Bytes(bytes.begin(), bytes.end()), offset)->id));
        int length = 1;
        while (length < 8 && !(static_cast<unsigned char>(bytes[size]) & (0x80 >> (length - 1)))) {
            ++length;
        }
        bytes[size + static_cast<std::size_t>(length) - 1] += 1;
    };
    const struct {
        const char* name;
        std::function<void(std::string&)> damage;
        bool eligible;
    } cases[] = {
        {"as written", [](std::string&) {}, true},
        {"header element damaged", [&](std::string& bytes) { bytes[known.segmentData] = 0; }, false},
        {"header ends elsewhere", [&](std::string& bytes) { growElementAt(bytes, known.segmentData); },
         false},
        {"last header element runs into the first cluster",
         [&](std::string& bytes) {
             growElementAt(bytes, static_cast<std::size_t>(written.elements[written.firstCluster - 1].start));
         },
         false},
        {"tail element damaged", [&](std::string& bytes) { bytes[known.TailStart()] = 0; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = ReadFileBytes(marked);
        c.damage(bytes);
        const std::string path = dir.file("damaged.mkv");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        const MatroskaStructure whole = CheckMatroskaStructure(fd.get());
        const MatroskaStructure recheck = RecheckRewrittenMatroska(fd.get(), known);
        EXPECT_EQ(whole.eligible, c.eligible);
        EXPECT_EQ(recheck.eligible, whole.eligible);
        EXPECT_EQ(recheck.fault, whole.fault);
        ASSERT_EQ(recheck.elements.size(), whole.elements.size());
        for (std::size_t i = 0; i < whole.elements.size(); ++i) {
            EXPECT_EQ(recheck.elements[i].id, whole.elements[i].id) << "element " << i;
            EXPECT_EQ(recheck.elements[i].start, whole.elements[i].start) << "element " << i;
            EXPECT_EQ(recheck.elements[i].total, whole.elements[i].total) << "element " << i;
        }
        EXPECT_EQ(recheck.firstCluster, whole.firstCluster);
        EXPECT_EQ(recheck.lastCluster, whole.lastCluster);
        EXPECT_TRUE(recheck.head == whole.head && recheck.tail == whole.tail);
    }
}

// Through the worker: a Matroska file is marked in place, one without room in its header is remuxed (and
// still rotated), and the methods say so.
TEST(MatroskaInPlaceBatch, MarksWhereItCanAndRemuxesTheRest) {
    if (!HasTool("mkvinfo")) {
        GTEST_SKIP() << "mkvinfo is not installed";
    }
    ScopedTempDir dir;
    auto job =
        MakeBatchJob({MarkerClip("mkv"), FourVideoTracks(dir)}, {dir.file("a.mkv"), dir.file("b.mkv")}, 90);
    ASSERT_EQ(RunBatch(*job).statuses, (std::vector<int>{kFileStatusConverted, kFileStatusConverted}));
    EXPECT_EQ(job->m_entryMethods[0], kMarkedInPlace);
    EXPECT_EQ(job->m_entryMethods[1], "remuxed: the Matroska header has no room for the rotation");
    EXPECT_EQ(ReadMkvInfo(dir.file("a.mkv")).rolls, std::vector<std::string>{"-90"});
    EXPECT_EQ(ReadMkvInfo(dir.file("b.mkv")).rolls, std::vector<std::string>(4, "-90"));
    EXPECT_EQ(ReadMkvInfo(dir.file("b.mkv")).rotateTags, std::vector<std::string>(4, "90"));
}

} // namespace
} // namespace quarnix::test

// A turn adds to what players show now: inputs that already carry a mark (a phone's 90, a mirror, a
// Matroska Projection, FFmpeg's own "rotate" tag) turned by each angle, and absolute turns that set or
// clear the angle. Checked where the marker box shows in FFmpeg's auto-rotated picture, and by exiftool
// or mkvinfo.
#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaFacts.h"

#include "engine/inplace/quicktime/QuickTimeMovieFacts.h"
#include "engine/inplace/quicktime/QuickTimeStructure.h"
#include "engine/io/FileDescriptor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <functional>

namespace quarnix::test {
namespace {

// Where the stored top-left box shows for a picture mirrored (first) and then turned clockwise.
std::string CornerShown(bool mirrored, int clockwise) {
    const char* cycle[] = {"top-left", "top-right", "bottom-right", "bottom-left"};
    return cycle[((mirrored ? 1 : 0) + clockwise / 90) % 4];
}

std::string Exif(const std::string& tag, const std::string& path) {
    std::string out;
    RunCommand("exiftool -s3 -" + tag + " " + ShellQuote(path), &out);
    return Trimmed(out);
}

// The marker MP4 with its track's matrix set to a left-right mirror, written over the stored bytes.
std::string MirroredMp4(const ScopedTempDir& dir) {
    std::string bytes = ReadFileBytes(MarkerClip("mp4"));
    const std::string path = dir.file("mirrored-input.mp4");
    std::ofstream(path, std::ios::binary) << bytes;
    FileDescriptor fd(open(path.c_str(), O_RDWR | O_CLOEXEC));
    const QuickTimeStructure structure = CheckQuickTimeStructure(fd.get());
    EXPECT_EQ(structure.videoTracks.size(), 1u);
    // -1 0 0 / 0 1 0 / 160 0 1, big-endian 16.16 (the last 2.30).
    const std::uint8_t mirror[36] = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0,    0, 0, 0, 0, 0, 0, 0,    0, 0, 1,
                                     0,    0,    0, 0, 0, 0, 0, 0xA0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0};
    bytes.replace(structure.videoTracks.at(0).matrixOffset, sizeof mirror,
                  reinterpret_cast<const char*>(mirror), sizeof mirror);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

// The marker MKV with a Projection of roll -90 (shown 90 clockwise) written by mkvpropedit.
std::string MkvWithProjection(const ScopedTempDir& dir) {
    const std::string path = dir.file("projected-input.mkv");
    std::ofstream(path, std::ios::binary) << ReadFileBytes(MarkerClip("mkv"));
    EXPECT_EQ(RunCommand("mkvpropedit -q " + ShellQuote(path) +
                         " --edit track:v1 --set projection-type=0 --set projection-pose-roll=-90"),
              0);
    return path;
}

struct MarkedInput {
    std::string name;
    std::string extension;
    std::function<std::string(const ScopedTempDir&)> make;
    int shownClockwise; // how players show it now
    bool mirrored;
};

std::vector<MarkedInput> MarkedInputs() {
    return {
        // FFmpeg's tag (turned into a matrix on a stream copy) is counter-clockwise: "rotate=270" shows 90
        // clockwise, like a phone's portrait clip.
        {"mp4_marked_90", "mp4",
         [](const ScopedTempDir&) {
             return MediaFixture("marked90.mp4", "-i " + ShellQuote(MarkerClip("mp4")) +
                                                     " -map 0 -c copy -metadata:s:v:0 rotate=270");
         },
         90, false},
        {"ffmpeg_rotate_tag_90", "mp4",
         [](const ScopedTempDir&) {
             return MediaFixture("ffmpeg-rotate90.mp4", "-i " + ShellQuote(MarkerClip("mp4")) +
                                                            " -map 0 -c copy -metadata:s:v:0 rotate=90");
         },
         270, false},
        {"mp4_mirrored", "mp4", MirroredMp4, 0, true},
        {"mkv_projection", "mkv", MkvWithProjection, 90, false},
    };
}

std::string Turned(const ScopedTempDir& dir, const std::string& input, const Turn& turn,
                   const std::string& name) {
    auto job = MakeBatchJob({input}, {dir.file(name)}, turn.degrees);
    job->m_absoluteRotation = turn.absolute ? 1 : 0;
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, std::vector<int>{kFileStatusConverted}) << job->m_entryReasons[0];
    return job->m_outputPaths[0];
}

void ExpectShown(const std::string& output, const std::string& extension, int clockwise, bool mirrored) {
    EXPECT_EQ(DisplayedMarkerCorner(output, clockwise), CornerShown(mirrored, clockwise));
    if (extension == "mkv") {
        const MkvInfo info = ReadMkvInfo(output);
        const int roll = clockwise == 270 ? 90 : -clockwise;
        EXPECT_EQ(info.rolls, std::vector<std::string>{std::to_string(roll)});
        EXPECT_EQ(info.rotateTags, std::vector<std::string>{std::to_string(clockwise)});
    } else if (!mirrored) {
        EXPECT_EQ(Exif("Rotation", output), std::to_string(clockwise));
    }
}

TEST(Turn, AddsToWhatPlayersShowOfAMarkedInput) {
    for (const MarkedInput& input : MarkedInputs()) {
        SCOPED_TRACE(input.name);
        ScopedTempDir dir;
        const std::string path = input.make(dir);
        ASSERT_FALSE(path.empty());
        // The fixture shows as it is meant to before any turn.
        ASSERT_EQ(DisplayedMarkerCorner(path, input.shownClockwise),
                  CornerShown(input.mirrored, input.shownClockwise));
        for (int turn : {90, 180, 270}) {
            SCOPED_TRACE(turn);
            const int shown = (input.shownClockwise + turn) % 360;
            const std::string output = Turned(dir, path, Turn::Clockwise(turn),
                                              "out" + std::to_string(turn) + "." + input.extension);
            ExpectShown(output, input.extension, shown, input.mirrored);
        }
    }
}

TEST(Turn, AbsoluteSetsTheAngleAndZeroClearsTheMark) {
    for (const MarkedInput& input : MarkedInputs()) {
        SCOPED_TRACE(input.name);
        ScopedTempDir dir;
        const std::string path = input.make(dir);
        for (int angle : {0, 180}) {
            SCOPED_TRACE(angle);
            const std::string output = Turned(dir, path, Turn::Absolute(angle),
                                              "abs" + std::to_string(angle) + "." + input.extension);
            ExpectShown(output, input.extension, angle, false);
        }
    }
}

// A turn that brings a marked MP4 back upright writes the identity matrix and no rotate tag.
TEST(Turn, BackUprightLeavesNoMark) {
    ScopedTempDir dir;
    const std::string path = MarkedInputs()[0].make(dir);
    const FileFacts facts = ReadMediaFacts(Turned(dir, path, Turn::Clockwise(270), "upright.mp4"));
    ASSERT_TRUE(facts.opened);
    EXPECT_TRUE(facts.OfKind("video").at(0).rotateTag.empty());
    EXPECT_NEAR(facts.OfKind("video").at(0).matrixAngle.value_or(0.0), 0.0, 0.01);
}

} // namespace
} // namespace quarnix::test

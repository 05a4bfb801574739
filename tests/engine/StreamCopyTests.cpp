#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaFacts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace quarnix::test {
namespace {

// Rotates one file into a temporary folder and returns the output path (empty on failure).
std::string RotateOne(const ScopedTempDir& dir, const std::string& input, int angle,
                      const std::string& name) {
    auto job = MakeBatchJob({input}, {dir.file(name)}, angle);
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, std::vector<int>{kFileStatusConverted}) << input;
    EXPECT_EQ(outcome.currentFile, 1);
    return dir.file(name);
}

std::string ExifRotation(const std::string& path) {
    std::string out;
    RunCommand("exiftool -s3 -Rotation " + ShellQuote(path), &out);
    return Trimmed(out);
}

void ExpectSamePackets(const FileFacts& input, const FileFacts& output) {
    for (const char* kind : {"video", "audio"}) {
        ASSERT_FALSE(input.OfKind(kind).empty()) << kind;
        ASSERT_EQ(output.OfKind(kind).size(), 1u) << kind;
        EXPECT_EQ(output.OfKind(kind)[0].packets, input.OfKind(kind)[0].packets) << kind;
        EXPECT_EQ(output.OfKind(kind)[0].payloadHash, input.OfKind(kind)[0].payloadHash) << kind;
    }
}

struct ContainerAngle {
    std::string extension;
    int angle;
};

void PrintTo(const ContainerAngle& value, std::ostream* os) {
    *os << value.extension << " " << value.angle;
}

class RotatedContainer : public ::testing::TestWithParam<ContainerAngle> {};

TEST_P(RotatedContainer, PlayersShowThePictureTurnedClockwise) {
    const auto [extension, angle] = GetParam();
    ScopedTempDir dir;
    const std::string input = MarkerClip(extension);
    const std::string output = RotateOne(dir, input, angle, "clip." + extension);

    EXPECT_EQ(ExifRotation(output), std::to_string(angle));
    const FileFacts facts = ReadMediaFacts(output);
    ASSERT_TRUE(facts.opened);
    EXPECT_EQ(facts.streams.size(), 2u);
    ASSERT_TRUE(facts.OfKind("video")[0].matrixAngle.has_value());
    // The library reports counterclockwise degrees.
    EXPECT_NEAR(std::fmod(-*facts.OfKind("video")[0].matrixAngle + 360.0, 360.0), angle, 0.01);
    ExpectSamePackets(ReadMediaFacts(input), facts);

    const char* expectedCorner = angle == 90 ? "top-right" : angle == 180 ? "bottom-right" : "bottom-left";
    EXPECT_EQ(DisplayedMarkerCorner(output, angle), expectedCorner);
}

INSTANTIATE_TEST_SUITE_P(AllAnglesAndQuickTimeFamily, RotatedContainer,
                         ::testing::Values(ContainerAngle{"mp4", 90}, ContainerAngle{"mp4", 180},
                                           ContainerAngle{"mp4", 270}, ContainerAngle{"mov", 90},
                                           ContainerAngle{"mov", 180}, ContainerAngle{"mov", 270},
                                           ContainerAngle{"m4v", 90}, ContainerAngle{"m4v", 270},
                                           ContainerAngle{"3gp", 90}, ContainerAngle{"3gp", 180}),
                         [](const auto& info) {
                             return info.param.extension + "_" + std::to_string(info.param.angle);
                         });

TEST(StreamCopy, MediainfoSeesTheRotation) {
    ScopedTempDir dir;
    const std::string output = RotateOne(dir, MarkerClip("mp4"), 270, "clip.mp4");
    std::string rotation;
    RunCommand("mediainfo --Inform='Video;%Rotation%' " + ShellQuote(output), &rotation);
    EXPECT_EQ(Trimmed(rotation), "270.000");
}

TEST(StreamCopy, MatroskaKeepsSubtitlesAndTagsOnlyTheVideo) {
    ScopedTempDir dir;
    const std::string input = MkvWithSubtitle();
    const FileFacts inputFacts = ReadMediaFacts(input);
    ASSERT_EQ(inputFacts.OfKind("subtitle").size(), 1u);
    const FileFacts facts = ReadMediaFacts(RotateOne(dir, input, 90, "clip.mkv"));
    ASSERT_EQ(facts.streams.size(), 3u);
    ASSERT_EQ(facts.OfKind("subtitle").size(), 1u);
    EXPECT_EQ(facts.OfKind("subtitle")[0].payloadHash, inputFacts.OfKind("subtitle")[0].payloadHash);
    EXPECT_EQ(facts.OfKind("video")[0].rotateTag, "90");
    EXPECT_EQ(facts.OfKind("audio")[0].rotateTag, "");
    ExpectSamePackets(inputFacts, facts);
}

TEST(StreamCopy, CoverStaysACoverBesideTheRotatedVideo) {
    ScopedTempDir dir;
    const std::string input = Mp4WithCover();
    ASSERT_EQ(ReadMediaFacts(input).streams.size(), 3u);
    const FileFacts facts = ReadMediaFacts(RotateOne(dir, input, 90, "clip.mp4"));
    ASSERT_EQ(facts.streams.size(), 3u);
    const std::vector<StreamFacts> videos = facts.OfKind("video");
    ASSERT_EQ(videos.size(), 2u);
    EXPECT_EQ(videos[0].codec, "h264");
    EXPECT_TRUE(videos[0].matrixAngle.has_value());
    EXPECT_EQ(videos[1].codec, "mjpeg");
    EXPECT_FALSE(videos[1].matrixAngle.has_value());
    std::string disposition;
    RunCommand(
        "ffprobe -v error -select_streams v:1 -show_entries stream_disposition=attached_pic -of csv=p=0 " +
            ShellQuote(dir.file("clip.mp4")),
        &disposition);
    EXPECT_EQ(Trimmed(disposition), "1");
}

TEST(StreamCopy, AudioKeepsItsOffsetFromTheVideo) {
    ScopedTempDir dir;
    const std::string input = TsWithLateAudio();
    const FileFacts in = ReadMediaFacts(input);
    // A transport stream cannot carry a rotation: the streams go into MP4 under the same base name.
    RotateOne(dir, input, 90, "clip.ts");
    EXPECT_FALSE(std::filesystem::exists(dir.file("clip.ts")));
    const FileFacts out = ReadMediaFacts(dir.file("clip.mp4"));
    ASSERT_EQ(out.streams.size(), 2u);
    const double inOffset = in.OfKind("audio")[0].firstPtsSeconds - in.OfKind("video")[0].firstPtsSeconds;
    const double outOffset = out.OfKind("audio")[0].firstPtsSeconds - out.OfKind("video")[0].firstPtsSeconds;
    EXPECT_NEAR(inOffset, 0.3, 0.05);
    EXPECT_NEAR(outOffset, inOffset, 0.002);
    // The transport stream's clock start is removed: the output starts near zero (plus the muxer's delay).
    EXPECT_LT(out.OfKind("video")[0].firstPtsSeconds, in.OfKind("video")[0].firstPtsSeconds);
    // QuickTime stores H.264 and AAC without their stream headers, so only the packet counts compare here.
    for (const char* kind : {"video", "audio"}) {
        EXPECT_EQ(out.OfKind(kind)[0].packets, in.OfKind(kind)[0].packets) << kind;
    }
}

TEST(StreamCopy, KeepsTheRecordingDateAndPlace) {
    ScopedTempDir dir;
    const std::string output = RotateOne(dir, Mp4WithDateAndPlace(), 90, "clip.mp4");
    std::string exif;
    RunCommand("exiftool -s3 -CreateDate " + ShellQuote(output), &exif);
    EXPECT_EQ(Trimmed(exif), "2024:07:14 10:20:30");
    std::string location;
    RunCommand("ffprobe -v error -show_entries format_tags=location -of default=nw=1:nk=1 " +
                   ShellQuote(output),
               &location);
    EXPECT_EQ(Trimmed(location), "+48.8584+002.2945/");
    EXPECT_EQ(ExifRotation(output), "90");
}

TEST(StreamCopy, NoRotationWritesNoMark) {
    ScopedTempDir dir;
    const FileFacts facts = ReadMediaFacts(RotateOne(dir, MarkerClip("mp4"), 0, "clip.mp4"));
    EXPECT_TRUE(facts.OfKind("video")[0].rotateTag.empty());
    EXPECT_FALSE(facts.OfKind("video")[0].matrixAngle.has_value());
}

} // namespace
} // namespace quarnix::test

// Rotation of QuickTime-family files by setting their track matrices in a copy of the input.
#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaFacts.h"
#include "engine/Rotation.h"
#include "engine/batch/FailureReason.h"
#include "engine/inplace/MarkInPlace.h"
#include "engine/inplace/quicktime/QuickTimeMovieFacts.h"
#include "engine/inplace/quicktime/QuickTimeStructure.h"
#include "engine/io/FfmpegPtr.h"
#include "engine/io/FileDescriptor.h"
#include "engine/io/PositionedIo.h"
#include "engine/remux/StreamRotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnix::test {
namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The offset of the first box of the given type among the boxes in [begin, end), or npos.
std::size_t FindBox(const std::string& bytes, const std::string& type, std::size_t begin, std::size_t end) {
    for (std::size_t at = begin; at + 8 <= end;) {
        const std::uint32_t size = Be32At(bytes, at);
        if (bytes.compare(at + 4, 4, type) == 0) {
            return at;
        }
        if (size < 8) {
            return std::string::npos;
        }
        at += size;
    }
    return std::string::npos;
}

std::size_t FindTopBox(const std::string& bytes, const std::string& type) {
    return FindBox(bytes, type, 0, bytes.size());
}

// The first tkhd of the movie (the video track in the fixtures below).
std::size_t FindTrackHeader(const std::string& bytes) {
    const std::size_t moov = FindTopBox(bytes, "moov");
    if (moov == std::string::npos) {
        return moov;
    }
    const std::size_t trak = FindBox(bytes, "trak", moov + 8, moov + Be32At(bytes, moov));
    return trak == std::string::npos ? trak : FindBox(bytes, "tkhd", trak + 8, trak + Be32At(bytes, trak));
}

std::string Mp4(const std::string& name, const std::string& flags) {
    return MediaFixture(name, kMarkerVideo + kTone + kH264 + "-c:a aac " + flags);
}

// Turns the placeholder box that ffmpeg writes before mdat ("free" or "wide", 8 bytes) and mdat's own
// 8-byte header into one mdat header with a 64-bit size, leaving every payload byte where it was.
bool UseLargeMdatSize(std::string& bytes) {
    const std::size_t mdat = FindTopBox(bytes, "mdat");
    if (mdat == std::string::npos || mdat < 8 ||
        (bytes.compare(mdat - 8, 8,
                       std::string("\0\0\0\x08"
                                   "free",
                                   8)) != 0 &&
         bytes.compare(mdat - 8, 8,
                       std::string("\0\0\0\x08"
                                   "wide",
                                   8)) != 0)) {
        return false;
    }
    const std::uint64_t size = Be32At(bytes, mdat) + 8;
    PutBe32(bytes, mdat - 8, 1);
    bytes.replace(mdat - 4, 4, "mdat");
    PutBe32(bytes, mdat, static_cast<std::uint32_t>(size >> 32));
    PutBe32(bytes, mdat + 4, static_cast<std::uint32_t>(size));
    return true;
}

// The last box (mdat of a file whose moov comes first) marked as running to the end of the file.
bool UseToEndMdatSize(std::string& bytes) {
    const std::size_t mdat = FindTopBox(bytes, "mdat");
    if (mdat == std::string::npos || mdat + Be32At(bytes, mdat) != bytes.size()) {
        return false;
    }
    PutBe32(bytes, mdat, 0);
    return true;
}

// Gives the input an existing rotation with exiftool, an independent writer of track matrices.
bool RotateWithExiftool(std::string& bytes) {
    ScopedTempDir dir;
    const std::string path = dir.file("rotated.mp4");
    WriteFile(path, bytes);
    if (RunCommand("exiftool -q -overwrite_original -Rotation=270 " + ShellQuote(path)) != 0) {
        return false;
    }
    bytes = ReadFileBytes(path);
    return true;
}

// The byte offsets (0-based) where two files of the same size differ, as `cmp -l` lists them.
std::vector<std::uint64_t> DifferingOffsets(const std::string& a, const std::string& b) {
    std::string listing;
    RunCommand("cmp -l " + ShellQuote(a) + " " + ShellQuote(b) + " 2>&1", &listing);
    std::vector<std::uint64_t> offsets;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::uint64_t position = 0;
        if (!(fields >> position)) {
            ADD_FAILURE() << "cmp: " << line;
            continue;
        }
        offsets.push_back(position - 1);
    }
    return offsets;
}

struct Marking {
    MarkAttempt result;
    std::string output;
};

// Marks input into dir/name, the output created exclusively as the worker does.
Marking MarkInto(const ScopedTempDir& dir, const std::string& input, const std::string& name, int angle,
                 std::uint8_t cancelValue = 0) {
    Marking marking;
    marking.output = dir.file(name);
    marking.result = MarkFileInPlace(InPlaceFamily::kQuickTime, input, marking.output, angle, cancelValue);
    return marking;
}

struct MarkCase {
    std::string name;
    std::function<std::string()> fixture;
    std::function<bool(std::string&)> change; // applied to a copy of the fixture; may be empty
    std::string extension;
    int angle;
    std::size_t videoTracks;
    int inputRotation = 0; // what exiftool reads in the input
};

void PrintTo(const MarkCase& value, std::ostream* os) {
    *os << value.name;
}

class MarkInPlace : public ::testing::TestWithParam<MarkCase> {};

// The output is the input with only the matrix bytes of the video tracks changed, and independent readers
// (exiftool, mediainfo, the library's display matrix, ffmpeg's auto-rotation) see the angle.
TEST_P(MarkInPlace, ChangesOnlyTheMatricesAndReadersSeeTheAngle) {
    const MarkCase& param = GetParam();
    ScopedTempDir dir;
    std::string input = param.fixture();
    ASSERT_FALSE(input.empty());
    if (param.change) {
        std::string bytes = ReadFileBytes(input);
        ASSERT_TRUE(param.change(bytes)) << "the fixture does not have the expected layout";
        input = dir.file("input." + param.extension);
        WriteFile(input, bytes);
    }
    std::string inputExif;
    RunCommand("exiftool -s3 -Rotation " + ShellQuote(input), &inputExif);
    EXPECT_EQ(Trimmed(inputExif), std::to_string(param.inputRotation));
    const Marking marking = MarkInto(dir, input, "output." + param.extension, param.angle);
    ASSERT_EQ(marking.result.outcome, MarkInPlaceOutcome::Marked) << marking.result.reason;
    EXPECT_EQ(static_cast<std::size_t>(marking.result.videoTracks), param.videoTracks);
    ASSERT_EQ(std::filesystem::file_size(marking.output), std::filesystem::file_size(input));
    EXPECT_EQ(marking.result.bytesCopied, std::filesystem::file_size(input));

    FileDescriptor out(open(marking.output.c_str(), O_RDONLY | O_CLOEXEC));
    const QuickTimeStructure structure = CheckQuickTimeStructure(out.get());
    ASSERT_TRUE(structure.eligible) << PlainQuickTimeReason(structure.fault);
    ASSERT_EQ(structure.videoTracks.size(), param.videoTracks);
    const std::vector<std::uint64_t> differing = DifferingOffsets(input, marking.output);
    EXPECT_LE(differing.size(), kTrackMatrixBytes * param.videoTracks);
    EXPECT_FALSE(differing.empty());
    for (std::uint64_t offset : differing) {
        bool inMatrix = false;
        for (const QuickTimeVideoTrack& track : structure.videoTracks) {
            inMatrix |= offset >= track.matrixOffset && offset < track.matrixOffset + kTrackMatrixBytes;
        }
        EXPECT_TRUE(inMatrix) << "byte " << offset << " changed outside the track matrices";
    }

    std::string exif;
    RunCommand("exiftool -s3 -Rotation " + ShellQuote(marking.output), &exif);
    EXPECT_EQ(Trimmed(exif), std::to_string(param.angle));
    std::string mediainfo;
    RunCommand("mediainfo --Inform='Video;%Rotation%\\n' " + ShellQuote(marking.output), &mediainfo);
    EXPECT_EQ(mediainfo.substr(0, mediainfo.find('\n')), std::to_string(param.angle) + ".000");
    const FileFacts facts = ReadMediaFacts(marking.output);
    ASSERT_EQ(facts.OfKind("video").size(), param.videoTracks);
    for (const StreamFacts& video : facts.OfKind("video")) {
        ASSERT_TRUE(video.matrixAngle.has_value());
        // The library reports counterclockwise degrees.
        EXPECT_NEAR(std::fmod(-*video.matrixAngle + 360.0, 360.0), param.angle, 0.01);
    }
    const char* corner = param.angle == 90    ? "top-right"
                         : param.angle == 180 ? "bottom-right"
                                              : "bottom-left";
    EXPECT_EQ(DisplayedMarkerCorner(marking.output, param.angle), corner);

    // Every stream's packets are the input's (the copy is exact, so this holds for chapters and timecode
    // as well; the byte comparison above is the stronger check).
    const FileFacts inputFacts = ReadMediaFacts(input);
    ASSERT_EQ(inputFacts.streams.size(), facts.streams.size());
    for (std::size_t i = 0; i < facts.streams.size(); ++i) {
        EXPECT_EQ(facts.streams[i].payloadHash, inputFacts.streams[i].payloadHash) << "stream " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    QuickTimeFamily, MarkInPlace,
    ::testing::Values(
        MarkCase{"mp4_moov_after_mdat", [] { return MarkerClip("mp4"); }, nullptr, "mp4", 90, 1},
        MarkCase{"mov", [] { return MarkerClip("mov"); }, nullptr, "mov", 270, 1},
        MarkCase{"m4v", [] { return MarkerClip("m4v"); }, nullptr, "m4v", 180, 1},
        MarkCase{"3gp", [] { return MarkerClip("3gp"); }, nullptr, "3gp", 90, 1},
        MarkCase{"mp4_already_rotated", [] { return MarkerClip("mp4"); }, RotateWithExiftool, "mp4", 90, 1,
                 270},
        MarkCase{"mov_timecode_and_chapters", ChapteredMovWithTimecode, nullptr, "mov", 180, 1},
        MarkCase{"mov_two_video_tracks", MovWithTwoVideoTracks, nullptr, "mov", 90, 2},
        MarkCase{"mp4_fragmented", [] { return Mp4("fragmented.mp4", "-movflags frag_keyframe+empty_moov"); },
                 nullptr, "mp4", 270, 1},
        MarkCase{"mp4_moov_before_mdat", [] { return Mp4("faststart.mp4", "-movflags +faststart"); }, nullptr,
                 "mp4", 90, 1},
        MarkCase{"mp4_64bit_mdat_size", [] { return MarkerClip("mp4"); }, UseLargeMdatSize, "mp4", 180, 1},
        MarkCase{"mp4_mdat_to_end_of_file", [] { return Mp4("faststart.mp4", "-movflags +faststart"); },
                 UseToEndMdatSize, "mp4", 270, 1}),
    [](const auto& info) { return info.param.name; });

// The same copy where the kernel cannot copy between the two files (another file system): the read/write
// loop takes over by itself.
TEST(MarkInPlaceCopy, OutputOnAnotherFileSystem) {
    if (!std::filesystem::is_directory("/dev/shm")) {
        GTEST_SKIP() << "no /dev/shm";
    }
    std::string pattern = "/dev/shm/quarnix-mark-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::unique_ptr<std::string, void (*)(std::string*)> removeDir(&pattern, [](std::string* dir) {
        std::error_code ignored;
        std::filesystem::remove_all(*dir, ignored);
    });
    const std::string input = MarkerClip("mp4");
    const std::string output = pattern + "/output.mp4";
    {
        FileDescriptor in(open(input.c_str(), O_RDONLY | O_CLOEXEC));
        FileDescriptor out(open(output.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        std::atomic<std::uint8_t> cancel{0};
        std::atomic<std::int32_t> percent{0};
        const MarkAttempt result = PlanAndMark(InPlaceFamily::kQuickTime, in.get(), out.get(),
                                               quarnix::Turn::Clockwise(90), cancel, percent);
        EXPECT_EQ(result.outcome, MarkInPlaceOutcome::Marked) << result.reason;
    }
    const std::vector<std::uint64_t> differing = DifferingOffsets(input, output);
    EXPECT_FALSE(differing.empty());
    EXPECT_LE(differing.size(), kTrackMatrixBytes);
    std::string exif;
    RunCommand("exiftool -s3 -Rotation " + ShellQuote(output), &exif);
    EXPECT_EQ(Trimmed(exif), "90");
}

TEST(MarkInPlaceCopy, CancelBeforeTheCopyEndsGivesCancelled) {
    ScopedTempDir dir;
    const std::string input = MarkerClip("mp4");
    const Marking marking = MarkInto(dir, input, "output.mp4", 90, 1);
    EXPECT_EQ(marking.result.outcome, MarkInPlaceOutcome::Cancelled);
    EXPECT_LT(std::filesystem::file_size(marking.output), std::filesystem::file_size(input));
}

TEST(MarkInPlaceCopy, RefusesAnOutputThatIsNotEmpty) {
    ScopedTempDir dir;
    const std::string input = MarkerClip("mp4");
    const std::string output = dir.file("output.mp4");
    WriteFile(output, "someone else's data");
    FileDescriptor in(open(input.c_str(), O_RDONLY | O_CLOEXEC));
    FileDescriptor out(open(output.c_str(), O_RDWR | O_CLOEXEC));
    std::atomic<std::uint8_t> cancel{0};
    std::atomic<std::int32_t> percent{0};
    const MarkAttempt result = PlanAndMark(InPlaceFamily::kQuickTime, in.get(), out.get(),
                                           quarnix::Turn::Clockwise(90), cancel, percent);
    EXPECT_EQ(result.outcome, MarkInPlaceOutcome::Failed);
    EXPECT_EQ(ReadFileBytes(output), "someone else's data");
}

// Writes the same rotation as the stream-copy remux does: open, copy every packet into a new MP4 with the
// engine's MarkStreamRotated on each stream. Returns an empty string when it worked, else what failed.
std::string RemuxRotated(const std::string& input, const std::string& output, int angle) {
    AVFormatContext* rawInput = nullptr;
    if (avformat_open_input(&rawInput, input.c_str(), nullptr, nullptr) < 0) {
        return "open input";
    }
    InputFormatPtr in(rawInput);
    if (avformat_find_stream_info(in.get(), nullptr) < 0) {
        return "stream info";
    }
    AVFormatContext* rawOutput = nullptr;
    if (avformat_alloc_output_context2(&rawOutput, nullptr, nullptr, output.c_str()) < 0) {
        return "output context";
    }
    OutputFormatPtr out(rawOutput);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        AVStream* stream = avformat_new_stream(out.get(), nullptr);
        if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, in->streams[i]->codecpar) < 0) {
            return "stream";
        }
        stream->codecpar->codec_tag = 0;
        stream->time_base = in->streams[i]->time_base;
        if (MarkStreamRotated(*stream, DisplayTransform{angle, false},
                              stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) < 0) {
            return "mark";
        }
    }
    if (avio_open(&out->pb, output.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(out.get(), nullptr) < 0) {
        return "header";
    }
    PacketPtr packet = MakePacket();
    while (av_read_frame(in.get(), packet.get()) >= 0) {
        const int index = packet->stream_index;
        av_packet_rescale_ts(packet.get(), in->streams[index]->time_base, out->streams[index]->time_base);
        packet->pos = -1;
        if (av_interleaved_write_frame(out.get(), packet.get()) < 0) {
            return "packet";
        }
    }
    return av_write_trailer(out.get()) < 0 ? "trailer" : "";
}

std::string MatrixOf(const std::string& path) {
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const QuickTimeStructure structure = CheckQuickTimeStructure(fd.get());
    EXPECT_TRUE(structure.eligible) << PlainQuickTimeReason(structure.fault);
    if (structure.videoTracks.size() != 1) {
        return {};
    }
    const std::string bytes = ReadFileBytes(path);
    return bytes.substr(structure.videoTracks[0].matrixOffset, kTrackMatrixBytes);
}

// A phone-like 640x360 MP4: the marked matrix equals, byte for byte, what the remux writes.
TEST(MarkInPlaceMatrix, EqualsTheRemuxMatrix) {
    const std::string input = MediaFixture(
        "phone-like.mp4",
        "-f lavfi -i testsrc2=s=640x360:r=30:d=1 -f lavfi -i sine=duration=1 " + kH264 + "-c:a aac");
    ScopedTempDir dir;
    for (int angle : {90, 180, 270}) {
        const std::string remuxed = dir.file("remux" + std::to_string(angle) + ".mp4");
        ASSERT_EQ(RemuxRotated(input, remuxed, angle), "");
        const Marking marking = MarkInto(dir, input, "mark" + std::to_string(angle) + ".mp4", angle);
        ASSERT_EQ(marking.result.outcome, MarkInPlaceOutcome::Marked) << marking.result.reason;
        const std::string expected = MatrixOf(remuxed);
        ASSERT_EQ(expected.size(), kTrackMatrixBytes);
        EXPECT_EQ(MatrixOf(marking.output), expected) << angle;
    }
}

struct DamageCase {
    std::string name;
    std::function<std::string()> fixture;
    std::function<bool(std::string&)> damage;
    std::string reason;
};

void PrintTo(const DamageCase& value, std::ostream* os) {
    *os << value.name;
}

class DamagedStructure : public ::testing::TestWithParam<DamageCase> {};

// Not eligible, with the reason in plain words, and nothing written to the output.
TEST_P(DamagedStructure, IsNotEligibleAndWritesNothing) {
    const DamageCase& param = GetParam();
    ScopedTempDir dir;
    std::string bytes = ReadFileBytes(param.fixture());
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(param.damage(bytes)) << "the fixture does not have the expected layout";
    const std::string input = dir.file("damaged.mp4");
    WriteFile(input, bytes);

    FileDescriptor fd(open(input.c_str(), O_RDONLY | O_CLOEXEC));
    const QuickTimeStructure structure = CheckQuickTimeStructure(fd.get());
    EXPECT_FALSE(structure.eligible);
    EXPECT_EQ(PlainQuickTimeReason(structure.fault), param.reason);
    EXPECT_TRUE(structure.videoTracks.empty());

    const Marking marking = MarkInto(dir, input, "output.mp4", 90);
    EXPECT_FALSE(marking.result.eligible);
    EXPECT_EQ(marking.result.reason, param.reason);
    EXPECT_EQ(std::filesystem::file_size(marking.output), 0u);
}

std::string MoovLast() {
    return MarkerClip("mp4");
}

std::string MoovFirst() {
    return Mp4("faststart.mp4", "-movflags +faststart");
}

bool RenameFirstInMovie(std::string& bytes, const std::string& from, const std::string& to) {
    const std::size_t moov = FindTopBox(bytes, "moov");
    if (moov == std::string::npos) {
        return false;
    }
    const std::size_t at = FindBox(bytes, from, moov + 8, moov + Be32At(bytes, moov));
    if (at == std::string::npos) {
        return false;
    }
    bytes.replace(at + 4, 4, to);
    return true;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedStructure,
    ::testing::Values(DamageCase{"truncated", MoovLast,
                                 [](std::string& bytes) {
                                     bytes.resize(bytes.size() - 100);
                                     return true;
                                 },
                                 "the file is cut short"},
                      DamageCase{"moov_size_beyond_the_end", MoovFirst,
                                 [](std::string& bytes) {
                                     const std::size_t moov = FindTopBox(bytes, "moov");
                                     if (moov == std::string::npos) {
                                         return false;
                                     }
                                     PutBe32(bytes, moov, static_cast<std::uint32_t>(bytes.size()));
                                     return true;
                                 },
                                 "the file is cut short"},
                      DamageCase{"box_smaller_than_its_header", MoovFirst,
                                 [](std::string& bytes) {
                                     PutBe32(bytes, 0, 4);
                                     return true;
                                 },
                                 "the file's box structure is damaged"},
                      DamageCase{"two_moovs", MoovLast,
                                 [](std::string& bytes) {
                                     const std::size_t moov = FindTopBox(bytes, "moov");
                                     if (moov == std::string::npos) {
                                         return false;
                                     }
                                     bytes += bytes.substr(moov, Be32At(bytes, moov));
                                     return true;
                                 },
                                 "the file has more than one movie header"},
                      DamageCase{"cmov", MoovFirst,
                                 [](std::string& bytes) { return RenameFirstInMovie(bytes, "mvhd", "cmov"); },
                                 "the movie header is compressed"},
                      DamageCase{"video_track_without_tkhd", MoovFirst,
                                 [](std::string& bytes) {
                                     const std::size_t tkhd = FindTrackHeader(bytes);
                                     if (tkhd == std::string::npos) {
                                         return false;
                                     }
                                     bytes.replace(tkhd + 4, 4, "free");
                                     return true;
                                 },
                                 "a video track has no track header"},
                      DamageCase{"tkhd_of_unknown_version", MoovFirst,
                                 [](std::string& bytes) {
                                     const std::size_t tkhd = FindTrackHeader(bytes);
                                     if (tkhd == std::string::npos) {
                                         return false;
                                     }
                                     bytes[tkhd + 8] = 2;
                                     return true;
                                 },
                                 "a video track header has an unknown version"},
                      DamageCase{"trak_overruns_moov", MoovFirst,
                                 [](std::string& bytes) {
                                     const std::size_t moov = FindTopBox(bytes, "moov");
                                     if (moov == std::string::npos) {
                                         return false;
                                     }
                                     const std::size_t trak =
                                         FindBox(bytes, "trak", moov + 8, moov + Be32At(bytes, moov));
                                     if (trak == std::string::npos) {
                                         return false;
                                     }
                                     PutBe32(bytes, trak, Be32At(bytes, moov));
                                     return true;
                                 },
                                 "the movie header is damaged"},
                      DamageCase{"no_moov", MoovLast,
                                 [](std::string& bytes) {
                                     const std::size_t moov = FindTopBox(bytes, "moov");
                                     if (moov == std::string::npos) {
                                         return false;
                                     }
                                     bytes.replace(moov + 4, 4, "free");
                                     return true;
                                 },
                                 "the file has no movie header"},
                      DamageCase{"audio_only", [] { return AudioOnlyM4a(); },
                                 [](std::string&) { return true; }, "the file has no video track"}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace quarnix::test

namespace quarnix::test {
namespace {

// The header region is read into memory only up to a bound: a movie box one byte larger is refused with
// its own reason, one of exactly that size is walked (and its zeros found damaged).
TEST(QuickTimeHeaderRegion, MovieBoxAboveTheBoundIsRefused) {
    ScopedTempDir dir;
    for (const std::uint64_t movieSize : {kMaxMovieBytes, kMaxMovieBytes + 1}) {
        std::string bytes("\0\0\0\x14"
                          "ftypisom\0\0\x02\0isom",
                          20);
        const char moov[8] = {static_cast<char>(movieSize >> 24),
                              static_cast<char>(movieSize >> 16),
                              static_cast<char>(movieSize >> 8),
                              static_cast<char>(movieSize),
                              'm',
                              'o',
                              'o',
                              'v'};
        bytes.append(moov, sizeof moov);
        const std::string path = dir.file("large" + std::to_string(movieSize) + ".mp4");
        WriteFile(path, bytes);
        std::filesystem::resize_file(path, 20 + movieSize); // sparse: the rest reads as zeros
        FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        const QuickTimeStructure structure = CheckQuickTimeStructure(fd.get());
        EXPECT_FALSE(structure.eligible);
        EXPECT_EQ(PlainQuickTimeReason(structure.fault), movieSize > kMaxMovieBytes
                                                             ? "the movie header is too large to check"
                                                             : "the movie header is damaged");
    }
}

struct ChangeCase {
    std::string name;
    bool changeMovieByte; // a byte of the movie box changes, the modification time is put back
};

void PrintTo(const ChangeCase& value, std::ostream* os) {
    *os << value.name;
}

class InputChangedAfterPlan : public ::testing::TestWithParam<ChangeCase> {};

// The plan is made from one reading of the input; when the input's header bytes or its modification time
// differ by the time it is marked, nothing is marked.
TEST_P(InputChangedAfterPlan, IsNotMarked) {
    ScopedTempDir dir;
    const std::string input = dir.file("input.mp4");
    WriteFile(input, ReadFileBytes(MarkerClip("mp4")));
    FileDescriptor in(open(input.c_str(), O_RDWR | O_CLOEXEC));
    const InPlaceDecision decision = PlanInPlace(in.get(), InPlaceFamily::kQuickTime, Turn::Clockwise(90));
    ASSERT_TRUE(decision.plan.has_value()) << PlainInPlaceRefusal(decision.refusal);

    struct stat before {};
    ASSERT_EQ(fstat(in.get(), &before), 0);
    if (GetParam().changeMovieByte) {
        // The last byte of the movie box, never a matrix: the matrices lie in the track headers.
        const std::uint64_t at = decision.plan->header.movie.End() - 1;
        const std::uint8_t changed =
            static_cast<std::uint8_t>(decision.plan->header.movieBytes.back() ^ 0xff);
        ASSERT_EQ(WriteExactlyAt(in.get(), at, &changed, 1), 0);
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(futimens(in.get(), times), 0);
    } else {
        const timespec later[2] = {before.st_atim, {before.st_mtim.tv_sec + 5, before.st_mtim.tv_nsec}};
        ASSERT_EQ(futimens(in.get(), later), 0);
    }

    const std::string output = dir.file("output.mp4");
    FileDescriptor out(open(output.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    const std::atomic<std::uint8_t> cancel{0};
    std::atomic<std::int32_t> percent{0};
    const MarkInPlaceResult result =
        quarnix::MarkInPlace(*decision.plan, in.get(), out.get(), cancel, percent);
    EXPECT_EQ(result.outcome, MarkInPlaceOutcome::Failed);
    EXPECT_EQ(PlainMarkReason(result), "the input changed while it was read");
    EXPECT_NE(percent.load(), 100);
}

INSTANTIATE_TEST_SUITE_P(Cases, InputChangedAfterPlan,
                         ::testing::Values(ChangeCase{"MovieByteChanged", true},
                                           ChangeCase{"ModificationTimeChanged", false}),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace quarnix::test

// Re-encode mode through the engine API: a job with m_reencode = 1 run by ConvertThreadProc on the test
// thread, its outputs read back with the FFmpeg libraries (packets, decoded samples) and with ffprobe.
#include "Fixtures.h"
#include "engine/batch/ConvertJob.h"
#include "engine/reencode/Reencode.h"
#include "engine/reencode/VideoTimeBase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace quarnix {
namespace {

using test::MediaFixture;
using test::RunCommand;
using test::ScopedTempDir;
using test::ShellQuote;

// The libraries' stream descriptions and encoder statistics would bury the test output; errors still show.
class QuietLibraries : public ::testing::Environment {
public:
    void SetUp() override { av_log_set_level(AV_LOG_ERROR); }
};
[[maybe_unused]] ::testing::Environment* const kQuietLibraries =
    ::testing::AddGlobalTestEnvironment(new QuietLibraries);

// 1 s, 25 frames with B-frames (so the decoder holds pictures back), AAC 44.1 kHz stereo planar float.
std::string HdSource() {
    return MediaFixture("hd720.mp4", "-f lavfi -i testsrc2=size=1280x720:rate=25 -f lavfi -i "
                                     "sine=frequency=440:sample_rate=44100 -t 1 -ac 2 -c:v libx264 -preset "
                                     "ultrafast -bf 2 -g 12 -pix_fmt yuv420p -c:a aac -b:a 128k");
}

// 1 s, 25 frames of 320x240 with B-frames, 48 kHz stereo 16-bit PCM.
std::string Pcm48Source() {
    return MediaFixture("pcm48.mkv", "-f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i "
                                     "sine=frequency=440:sample_rate=48000 -t 1 -ac 2 -c:v libx264 -preset "
                                     "ultrafast -bf 2 -pix_fmt yuv420p -c:a pcm_s16le");
}

// 1 s, 25 JPEG pictures (full-range 4:2:0, which the H.264 encoder does not take as it is).
std::string MjpegSource() {
    return MediaFixture("mjpeg.mkv", "-f lavfi -i testsrc2=size=320x240:rate=25 -t 1 -c:v mjpeg -q:v 5");
}

std::unique_ptr<CConvertJob> MakeJob(const std::vector<std::pair<std::string, std::string>>& entries) {
    auto job = std::make_unique<CConvertJob>();
    const int count = static_cast<int>(entries.size());
    job->PrepareEntries(count);
    for (int i = 0; i < count; ++i) {
        job->m_inputPaths[static_cast<std::size_t>(i)] = entries[static_cast<std::size_t>(i)].first;
        job->m_outputPaths[static_cast<std::size_t>(i)] = entries[static_cast<std::size_t>(i)].second;
        job->m_fileDuration[static_cast<std::size_t>(i)] = 1.0;
    }
    // The targets the start command derives from the default output presets.
    job->m_reencode = 1;
    job->m_keepSourceSize = 1;
    job->m_targetWidth = job->m_targetHeight = 0;
    job->m_videoBitRate = 0;
    job->m_targetFrameRate = 0.0;
    job->m_sampleRate = 44100;
    job->m_audioBitRate = 128000;
    job->m_channels = 2;
    return job;
}

std::int8_t StatusOf(const CConvertJob& job, int index) {
    return job.m_fileStatus[static_cast<std::size_t>(index)].load();
}

// ffprobe's view of one stream ("v:0", "a:0"): key=value lines, tags as TAG:key, side data keys plain.
std::map<std::string, std::string> Ffprobe(const std::string& path, const std::string& stream,
                                           const std::string& entries) {
    std::string output;
    const std::string command = "ffprobe -v error -count_frames -select_streams " + stream +
                                " -show_entries " + ShellQuote(entries) + " -of default=nw=1 " +
                                ShellQuote(path);
    EXPECT_EQ(RunCommand(command, &output), 0) << command;
    std::map<std::string, std::string> values;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (const auto equals = line.find('='); equals != std::string::npos) {
            values.emplace(line.substr(0, equals), line.substr(equals + 1));
        }
    }
    return values;
}

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, FormatCloser>;

InputPtr OpenMedia(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return nullptr;
    }
    InputPtr input(raw);
    EXPECT_GE(avformat_find_stream_info(input.get(), nullptr), 0);
    return input;
}

// The packets of the first stream of one kind, as the demuxer gives them.
struct Track {
    int stream = -1;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    AVRational timeBase{0, 1};
    std::vector<std::int64_t> pts;
    std::int64_t start = INT64_MAX;
    std::int64_t end = INT64_MIN;
    double Seconds() const { return static_cast<double>(end - start) * av_q2d(timeBase); }
};

Track ReadTrack(const std::string& path, AVMediaType type) {
    Track track;
    InputPtr input = OpenMedia(path);
    if (!input) {
        return track;
    }
    track.stream = av_find_best_stream(input.get(), type, -1, -1, nullptr, 0);
    if (track.stream < 0) {
        return track;
    }
    const AVStream& stream = *input->streams[track.stream];
    track.codec = stream.codecpar->codec_id;
    track.width = stream.codecpar->width;
    track.height = stream.codecpar->height;
    track.timeBase = stream.time_base;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(input.get(), packet) >= 0) {
        if (packet->stream_index == track.stream && packet->pts != AV_NOPTS_VALUE) {
            track.pts.push_back(packet->pts);
            track.start = std::min(track.start, packet->pts);
            track.end = std::max(track.end, packet->pts + packet->duration);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    std::sort(track.pts.begin(), track.pts.end());
    return track;
}

// The first audio stream decoded to its end: sample count (priming and padding removed by the decoder, as a
// player does) and the loudness of the first channel.
struct DecodedAudio {
    int sampleRate = 0;
    int channels = 0;
    std::int64_t samples = 0;
    double rms = 0.0;
    double Seconds() const { return sampleRate > 0 ? static_cast<double>(samples) / sampleRate : 0.0; }
};

double SampleAt(const AVFrame& frame, int index) {
    const int channels = frame.ch_layout.nb_channels;
    switch (frame.format) {
    case AV_SAMPLE_FMT_FLTP:
        return reinterpret_cast<const float*>(frame.extended_data[0])[index];
    case AV_SAMPLE_FMT_FLT:
        return reinterpret_cast<const float*>(frame.extended_data[0])[index * channels];
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const std::int16_t*>(frame.extended_data[0])[index * channels] / 32768.0;
    case AV_SAMPLE_FMT_S16P:
        return reinterpret_cast<const std::int16_t*>(frame.extended_data[0])[index] / 32768.0;
    default:
        ADD_FAILURE() << "unexpected sample format " << frame.format;
        return 0.0;
    }
}

DecodedAudio DecodeAudio(const std::string& path) {
    DecodedAudio result;
    InputPtr input = OpenMedia(path);
    if (!input) {
        return result;
    }
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index < 0) {
        return result;
    }
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, input->streams[index]->codecpar);
    decoder->pkt_timebase = input->streams[index]->time_base;
    EXPECT_GE(avcodec_open2(decoder, codec, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    double sumOfSquares = 0.0;
    auto drain = [&] {
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            result.sampleRate = frame->sample_rate;
            result.channels = frame->ch_layout.nb_channels;
            for (int i = 0; i < frame->nb_samples; ++i) {
                const double sample = SampleAt(*frame, i);
                sumOfSquares += sample * sample;
            }
            result.samples += frame->nb_samples;
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(input.get(), packet) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(decoder, packet);
            drain();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    drain();
    result.rms = result.samples > 0 ? std::sqrt(sumOfSquares / static_cast<double>(result.samples)) : 0.0;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    return result;
}

int FrameCount(const std::string& path) {
    return std::stoi(Ffprobe(path, "v:0", "stream=nb_read_frames")["nb_read_frames"]);
}

// With keep-source size every picture and sample of a 1280x720 source arrives, at its size, in MP4 (rotation
// by display matrix) and in Matroska (rotation by tag), and only the video stream is rotated.
TEST(Reencode, KeepsSourceSizeAndEveryFrameAndSample) {
    // Matroska does not signal the encoder's priming, so its decoded audio may be one frame longer.
    constexpr double kOneAacFrame44k = 1024.0 / 44100 + 1e-9;
    const std::string source = HdSource();
    ScopedTempDir dir;
    const std::string mp4 = dir.file("out.mp4");
    const std::string mkv = dir.file("out.mkv");
    auto job = MakeJob({{source, mp4}, {source, mkv}});
    job->m_rotation = 90;

    ASSERT_EQ(ConvertThreadProc(job.get()), 0);
    EXPECT_EQ(job->m_currentFile.load(), 2);
    EXPECT_EQ(StatusOf(*job, 0), kFileStatusConverted);
    EXPECT_EQ(StatusOf(*job, 1), kFileStatusConverted);
    EXPECT_EQ(job->m_targetWidth, 1280);
    EXPECT_EQ(job->m_targetHeight, 720);
    EXPECT_GE(job->m_filePercent.load(), 0);
    EXPECT_LE(job->m_filePercent.load(), 100);

    const Track videoIn = ReadTrack(source, AVMEDIA_TYPE_VIDEO);
    const DecodedAudio audioIn = DecodeAudio(source);
    const int framesIn = FrameCount(source);
    ASSERT_EQ(framesIn, 25);
    for (const std::string& output : {mp4, mkv}) {
        SCOPED_TRACE(output);
        const Track videoOut = ReadTrack(output, AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(videoOut.codec, AV_CODEC_ID_H264);
        EXPECT_EQ(videoOut.width, 1280);
        EXPECT_EQ(videoOut.height, 720);
        auto video = Ffprobe(output, "v:0", "stream=codec_name,width,height,has_b_frames,nb_read_frames");
        EXPECT_EQ(video["codec_name"], "h264");
        EXPECT_EQ(video["width"], "1280");
        EXPECT_EQ(video["has_b_frames"], "0");
        EXPECT_EQ(FrameCount(output), framesIn);
        EXPECT_NEAR(videoOut.Seconds(), videoIn.Seconds(), 1.0 / 25);

        const DecodedAudio audioOut = DecodeAudio(output);
        EXPECT_EQ(audioOut.sampleRate, 44100);
        EXPECT_EQ(audioOut.channels, 2);
        EXPECT_NEAR(audioOut.Seconds(), audioIn.Seconds(), kOneAacFrame44k);
        EXPECT_NEAR(audioOut.rms, audioIn.rms, 0.1 * audioIn.rms);
        EXPECT_EQ(Ffprobe(output, "a:0", "stream=codec_name")["codec_name"], "aac");
        std::printf("[ %s ] video frames %d -> %d, %.3f s -> %.3f s; audio %.4f s -> %.4f s\n",
                    std::filesystem::path(output).extension().c_str(), framesIn, FrameCount(output),
                    videoIn.Seconds(), videoOut.Seconds(), audioIn.Seconds(), audioOut.Seconds());
    }

    // MP4 carries the rotation as the video track's display matrix, Matroska as the tag; audio carries none.
    EXPECT_EQ(Ffprobe(mp4, "v:0", "stream_side_data=rotation")["rotation"], "-90");
    EXPECT_EQ(Ffprobe(mp4, "a:0", "stream_side_data=rotation").count("rotation"), 0u);
    EXPECT_EQ(Ffprobe(mkv, "v:0", "stream_tags")["TAG:ROTATE"], "90");
    EXPECT_EQ(Ffprobe(mkv, "a:0", "stream_tags").count("TAG:ROTATE"), 0u);
}

TEST(Reencode, TargetSizeScalesThePictures) {
    const std::string source = HdSource();
    ScopedTempDir dir;
    const std::string output = dir.file("small.mp4");
    auto job = MakeJob({{source, output}});
    job->m_keepSourceSize = 0;
    job->m_targetWidth = 640;
    job->m_targetHeight = 480;
    job->m_fileDuration[0] = 0.0; // no listed duration: the percentage shows 0, never a negative value

    ASSERT_EQ(ConvertThreadProc(job.get()), 0);
    EXPECT_EQ(StatusOf(*job, 0), kFileStatusConverted);
    EXPECT_EQ(job->m_filePercent.load(), 0);
    EXPECT_EQ(job->m_targetWidth, 640);
    auto video = Ffprobe(output, "v:0", "stream=width,height,pix_fmt,nb_read_frames");
    EXPECT_EQ(video["width"], "640");
    EXPECT_EQ(video["height"], "480");
    EXPECT_EQ(video["pix_fmt"], "yuv420p");
    EXPECT_EQ(video["nb_read_frames"], "25");
}

// Pictures are evenly spaced one tick apart in the encoder's time base: the source's rate, or the table's
// time base for a listed target rate.
TEST(Reencode, FrameRateTargets) {
    struct Case {
        double target;
        AVRational tick;
        const char* averageRate;
    };
    const Case cases[] = {
        {0.0, {1, 25}, "25/1"},
        {29.97, {1001, 30000}, "30000/1001"},
        {17.0, {1, 25}, "25/1"}, // not listed: the source's rate is kept
        {60.0, {1, 60}, "60/1"},
    };
    const std::string source = Pcm48Source();
    const int framesIn = FrameCount(source);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        ScopedTempDir dir;
        const std::string output = dir.file("rate.mp4");
        auto job = MakeJob({{source, output}});
        job->m_targetFrameRate = c.target;
        ASSERT_EQ(ConvertThreadProc(job.get()), 0);
        EXPECT_EQ(StatusOf(*job, 0), kFileStatusConverted);

        const Track track = ReadTrack(output, AVMEDIA_TYPE_VIDEO);
        ASSERT_EQ(static_cast<int>(track.pts.size()), framesIn);
        for (std::size_t k = 0; k < track.pts.size(); ++k) {
            // pts[k] * timeBase == k * tick, compared exactly as fractions.
            EXPECT_EQ(track.pts[k] * track.timeBase.num * c.tick.den,
                      static_cast<std::int64_t>(k) * c.tick.num * track.timeBase.den)
                << "picture " << k;
        }
        EXPECT_EQ(Ffprobe(output, "v:0", "stream=avg_frame_rate")["avg_frame_rate"], c.averageRate);
    }
}

TEST(Reencode, VideoTimeBaseRepairs) {
    struct Case {
        AVRational source;
        AVRational average;
        double target;
        AVCodecID codec;
        AVRational expected;
    };
    const Case cases[] = {
        {{25, 1}, {25, 1}, 0.0, AV_CODEC_ID_H264, {1, 25}},
        {{30000, 1001}, {30000, 1001}, 29.97, AV_CODEC_ID_H264, {1001, 30000}},
        {{25, 1}, {25, 1}, 23.975, AV_CODEC_ID_H264, {1001, 24000}},
        {{25, 1}, {25, 1}, 17.0, AV_CODEC_ID_H264, {1, 25}},
        // A numerator above 16 bits is rounded to hundredths of a frame per second.
        {{982057, 32768}, {982057, 32768}, 0.0, AV_CODEC_ID_H264, {100, 2997}},
        {{982057, 32768}, {982057, 32768}, 0.0, AV_CODEC_ID_MPEG4, {100, 2997}},
        // Above 100 frames per second the stream's average rate decides.
        {{120, 1}, {240, 2}, 0.0, AV_CODEC_ID_H264, {2, 240}},
        {{120, 1}, {0, 1}, 0.0, AV_CODEC_ID_H264, {1, 120}},
        {{120, 1}, {240, 2}, 29.97, AV_CODEC_ID_H264, {2, 240}},
    };
    for (const Case& c : cases) {
        const AVRational got = VideoEncoderTimeBase(c.source, c.average, c.target, c.codec);
        EXPECT_EQ(got.num, c.expected.num) << c.source.num << "/" << c.source.den << " target " << c.target;
        EXPECT_EQ(got.den, c.expected.den) << c.source.num << "/" << c.source.den << " target " << c.target;
    }
}

// Audio reaches the encoder complete and undistorted, with or without the resampler.
TEST(Reencode, AudioWithAndWithoutResampling) {
    struct Case {
        std::string source;
        int targetRate;
    };
    const Case cases[] = {
        {HdSource(), 44100},    // AAC 44.1 kHz stereo planar float: taken as it is
        {Pcm48Source(), 48000}, // 16-bit interleaved: converted at the same rate
        {Pcm48Source(), 44100}, // converted and resampled
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + " at " + std::to_string(c.targetRate));
        ScopedTempDir dir;
        const std::string output = dir.file("audio.mp4");
        auto job = MakeJob({{c.source, output}});
        job->m_sampleRate = c.targetRate;
        ASSERT_EQ(ConvertThreadProc(job.get()), 0);
        EXPECT_EQ(StatusOf(*job, 0), kFileStatusConverted);

        const DecodedAudio in = DecodeAudio(c.source);
        const DecodedAudio out = DecodeAudio(output);
        EXPECT_EQ(out.sampleRate, c.targetRate);
        EXPECT_EQ(out.channels, 2);
        EXPECT_NEAR(out.Seconds(), in.Seconds(), 1024.0 / c.targetRate);
        EXPECT_NEAR(out.rms, in.rms, 0.1 * in.rms);
        const double probed = std::stod(Ffprobe(output, "a:0", "stream=duration")["duration"]);
        EXPECT_NEAR(probed, in.Seconds(), 1024.0 / c.targetRate);
        std::printf("[ audio ] %s -> %d Hz: %.4f s (%d Hz) -> %.4f s, ffprobe %.4f s\n",
                    std::filesystem::path(c.source).filename().c_str(), c.targetRate, in.Seconds(),
                    in.sampleRate, out.Seconds(), probed);
    }
}

TEST(Reencode, ResamplerOnlyWhenTheFormatsDiffer) {
    struct Case {
        AVSampleFormat format;
        int rate;
        int channels;
        bool needed;
    };
    const Case cases[] = {
        {AV_SAMPLE_FMT_FLTP, 44100, 2, false},
        {AV_SAMPLE_FMT_S16, 44100, 2, true},
        {AV_SAMPLE_FMT_FLTP, 48000, 2, true},
        {AV_SAMPLE_FMT_FLTP, 44100, 1, true},
    };
    AVCodecContext* encoder = avcodec_alloc_context3(nullptr);
    encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    encoder->sample_rate = 44100;
    av_channel_layout_default(&encoder->ch_layout, 2);
    for (const Case& c : cases) {
        AVCodecContext* decoder = avcodec_alloc_context3(nullptr);
        decoder->sample_fmt = c.format;
        decoder->sample_rate = c.rate;
        av_channel_layout_default(&decoder->ch_layout, c.channels);
        EXPECT_EQ(NeedsResampler(*decoder, *encoder), c.needed)
            << c.format << " " << c.rate << " " << c.channels;
        avcodec_free_context(&decoder);
    }
    avcodec_free_context(&encoder);
}

// A picture whose data is damaged is left out; the rest of the file is converted and the entry succeeds.
TEST(Reencode, DamagedPictureIsLeftOut) {
    ScopedTempDir dir;
    const std::string damaged = dir.file("damaged.mkv");
    {
        std::ifstream in(MjpegSource(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Every picture runs from a JPEG start-of-image to an end-of-image marker; the eleventh is wiped.
        std::size_t at = 0;
        for (int found = 0; found < 11; ++found) {
            at = bytes.find("\xFF\xD8\xFF", found == 0 ? 0 : at + 1);
            ASSERT_NE(at, std::string::npos);
        }
        const std::size_t end = bytes.find("\xFF\xD9", at);
        ASSERT_NE(end, std::string::npos);
        std::memset(bytes.data() + at, 0, end + 2 - at);
        std::ofstream(damaged, std::ios::binary) << bytes;
    }
    const std::string output = dir.file("out.mp4");
    auto job = MakeJob({{damaged, output}});
    ASSERT_EQ(ConvertThreadProc(job.get()), 0);
    EXPECT_EQ(StatusOf(*job, 0), kFileStatusConverted);
    EXPECT_EQ(FrameCount(output), 24);
    EXPECT_EQ(Ffprobe(output, "v:0", "stream=pix_fmt")["pix_fmt"], "yuv420p");
}

// With two video streams the decoded one (the last) is encoded into the output stream made for it, at its own
// size; the other output video stream stays empty rather than receiving pictures of another size.
TEST(Reencode, SecondVideoStreamGoesToItsOwnOutputStream) {
    const std::string source = MediaFixture(
        "twovideo.mkv", "-f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i "
                        "testsrc=size=160x120:rate=25 -map 0:v -map 1:v -t 1 -c:v libx264 -preset "
                        "ultrafast -pix_fmt yuv420p");
    ScopedTempDir dir;
    const std::string output = dir.file("two.mkv");
    auto job = MakeJob({{source, output}});
    ASSERT_EQ(ConvertThreadProc(job.get()), 0);
    EXPECT_EQ(StatusOf(*job, 0), kFileStatusConverted);
    auto first = Ffprobe(output, "v:0", "stream=width,nb_read_frames");
    auto second = Ffprobe(output, "v:1", "stream=width,height,nb_read_frames");
    EXPECT_EQ(first["width"], "320");
    EXPECT_TRUE(first["nb_read_frames"] == "0" || first["nb_read_frames"] == "N/A")
        << first["nb_read_frames"];
    EXPECT_EQ(second["width"], "160");
    EXPECT_EQ(second["height"], "120");
    EXPECT_EQ(second["nb_read_frames"], "25");
}

// The failure table of the set-up: a stream without an encoder, or an encoder that does not open, fails
// that entry alone, leaves no file, and the batch goes on to its end.
TEST(Reencode, SetUpFailures) {
    struct Case {
        const char* name;
        int videoCodec;
        int audioCodec;
        int sampleRate;
    };
    const Case cases[] = {
        {"no video encoder", AV_CODEC_ID_VP6, AV_CODEC_ID_AAC, 44100},
        {"no audio encoder", AV_CODEC_ID_H264, AV_CODEC_ID_COOK, 44100},
        {"encoder does not open", AV_CODEC_ID_H264, AV_CODEC_ID_AAC, 12345},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTempDir dir;
        const std::string first = dir.file("first.mp4");
        const std::string second = dir.file("second.mp4");
        auto job = MakeJob({{HdSource(), first}, {Pcm48Source(), second}});
        job->m_videoCodecId = c.videoCodec;
        job->m_audioCodecId = c.audioCodec;
        job->m_sampleRate = c.sampleRate;
        EXPECT_EQ(ConvertThreadProc(job.get()), 0);
        EXPECT_EQ(StatusOf(*job, 0), kFileStatusFailed);
        EXPECT_EQ(StatusOf(*job, 1), kFileStatusFailed);
        EXPECT_EQ(job->m_currentFile.load(), 2);
        EXPECT_TRUE(job->m_finished.load());
        EXPECT_FALSE(job->m_entryReasons[0].empty());
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    }
}

} // namespace
} // namespace quarnix

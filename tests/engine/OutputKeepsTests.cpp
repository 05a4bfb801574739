// What a rotated output keeps, over a table of realistic inputs made with the ffmpeg tool (and mkvmerge for
// the HDR facts): each output is compared with the input and with `ffmpeg -map 0 -c copy` into the same
// container, its rotation is read by an independent reader, and ffmpeg must decode it without an error.
#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaFacts.h"
#include "engine/inplace/matroska/MatroskaRotation.h"
#include "engine/io/FfmpegPtr.h"
#include "engine/probe/MediaProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <unistd.h>

extern "C" {
#include <libavutil/display.h>
}

namespace quarnix::test {
namespace {

std::filesystem::path FixtureFolder() {
    return std::filesystem::path(MediaFixture("anchor.wav", "-f lavfi -i anullsrc -t 0.1")).parent_path();
}

// A fixture made by a shell command that writes {out}: made under a private name, then linked into place
// without replacing what a parallel test process may have linked first.
std::string CommandFixture(const std::string& baseName, const std::string& command) {
    // The name carries a hash of the command, so that a changed fixture is made anew.
    const std::size_t dot = baseName.rfind('.');
    std::ostringstream hashed;
    hashed << baseName.substr(0, dot) << '-' << std::hex << std::hash<std::string>{}(command)
           << baseName.substr(dot);
    const std::string name = hashed.str();
    const std::filesystem::path target = FixtureFolder() / name;
    if (std::filesystem::exists(target)) {
        return target.string();
    }
    const std::filesystem::path partial =
        target.parent_path() / ("partial-" + std::to_string(getpid()) + "-" + name);
    std::string filled = command;
    for (std::size_t at; (at = filled.find("{out}")) != std::string::npos;) {
        filled.replace(at, 5, ShellQuote(partial.string()));
    }
    std::string log;
    if (RunCommand(filled + " 2>&1", &log) != 0) {
        ADD_FAILURE() << "cannot make fixture " << name << ":\n" << filled << "\n" << log;
        std::filesystem::remove(partial);
        return {};
    }
    if (link(partial.c_str(), target.c_str()) != 0 && errno != EEXIST) {
        ADD_FAILURE() << "cannot link fixture " << name;
    }
    std::filesystem::remove(partial);
    return target.string();
}

std::string TextFixture(const std::string& name, const std::string& text) {
    return CommandFixture(name, "printf '%s' " + ShellQuote(text) + " > {out}");
}

std::string SubtitlesEn() {
    return TextFixture("keep-en.srt", "1\n00:00:00,000 --> 00:00:01,000\nHello\n\n2\n00:00:01,000 --> "
                                      "00:00:01,900\nWorld\n\n");
}
std::string SubtitlesFr() {
    return TextFixture("keep-fr.srt", "1\n00:00:00,200 --> 00:00:01,500\nBonjour\n\n");
}
std::string Chapters() {
    return TextFixture("keep-chapters.txt",
                       ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\n"
                       "title=Opening\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\n"
                       "title=Closing\n");
}
std::string Font() {
    return TextFixture("keep-font.ttf", "not really a font, but an attachment all the same");
}
std::string Cover() {
    return MediaFixture("keep-cover.jpg", "-f lavfi -i color=c=red:s=64x64 -frames:v 1");
}

const std::string kV = "-f lavfi -i testsrc2=s=320x180:r=30:d=2 ";
const std::string kA = "-f lavfi -i sine=f=440:d=2 ";
const std::string kA2 = "-f lavfi -i sine=f=660:d=2 ";
const std::string kH264 = "-c:v libx264 -preset ultrafast -bf 2 -pix_fmt yuv420p ";
const std::string kHevc = "-c:v libx265 -preset ultrafast -x265-params log-level=none -pix_fmt yuv420p ";
const std::string kAppleKeys = "-movflags use_metadata_tags -metadata com.apple.quicktime.make=Apple "
                               "-metadata com.apple.quicktime.model='iPhone 12' "
                               "-metadata com.apple.quicktime.software=17.1 "
                               "-metadata com.apple.quicktime.location.ISO6709=+48.8584+002.2945+035.000/ "
                               "-metadata com.apple.quicktime.creationdate=2024-07-14T12:20:30+0200 ";

struct KeepCase {
    std::string name;
    std::string inputExtension;
    std::string outputExtension; // where the rotated streams land
    int angle = 90;
    std::string videoTag;           // the codec tag the output's video must keep ("" = not checked)
    std::string timecode;           // the timecode the output's video must keep ("" = none)
    bool appleKeys = false;         // the Apple key list (make, place) must survive
    std::set<std::string> sideData; // side data the output's video must carry
    bool keepsCover = false;        // a cover is kept as a cover, next to one real video

    KeepCase WithVideoTag(std::string tag) const {
        return Changed([&](KeepCase& c) { c.videoTag = tag; });
    }
    KeepCase WithTimecode(std::string value) const {
        return Changed([&](KeepCase& c) { c.timecode = value; });
    }
    KeepCase WithAppleKeys() const {
        return Changed([](KeepCase& c) { c.appleKeys = true; });
    }
    KeepCase WithSideData(std::set<std::string> names) const {
        return Changed([&](KeepCase& c) { c.sideData = names; });
    }
    KeepCase WithCover() const {
        return Changed([](KeepCase& c) { c.keepsCover = true; });
    }

private:
    template <typename F> KeepCase Changed(F change) const {
        KeepCase copy = *this;
        change(copy);
        return copy;
    }
};

KeepCase Row(std::string name, std::string inputExtension, std::string outputExtension = {}, int angle = 90) {
    KeepCase c;
    c.name = std::move(name);
    c.inputExtension = std::move(inputExtension);
    c.outputExtension = std::move(outputExtension);
    c.angle = angle;
    return c;
}

void PrintTo(const KeepCase& value, std::ostream* os) {
    *os << value.name;
}

// Makes the input of a case.
std::string InputOf(const KeepCase& c) {
    const std::string file = "keep-" + c.name + "." + c.inputExtension;
    const std::string srt = "-i " + ShellQuote(SubtitlesEn()) + " ";
    const std::string srtFr = "-i " + ShellQuote(SubtitlesFr()) + " ";
    const std::string chapters = "-i " + ShellQuote(Chapters()) + " ";
    const std::string cover = "-i " + ShellQuote(Cover()) + " ";
    if (c.name == "iphone_hevc_mov" || c.name == "iphone_hevc_mp4") {
        return MediaFixture(file, kV + kA + kHevc + "-tag:v hvc1 -c:a aac -metadata:s:a language=eng " +
                                      kAppleKeys);
    }
    if (c.name == "camera_avi_mjpeg") {
        return MediaFixture(file, kV + kA + kA2 + "-map 0 -map 1 -map 2 -c:v mjpeg -c:a pcm_s16le");
    }
    if (c.name == "mjpeg_timecode_mov") {
        return MediaFixture(file, kV + kA + "-c:v mjpeg -c:a pcm_s16le -timecode 01:02:03:04");
    }
    if (c.name == "prores_proxy_mov") {
        return MediaFixture(file, kV + kA + "-c:v prores_ks -profile:v 0 -c:a pcm_s16le");
    }
    if (c.name == "xvid_avi") {
        return MediaFixture(file, kV + kA + "-c:v mpeg4 -vtag XVID -c:a libmp3lame");
    }
    if (c.name == "mkv_subtitles_fonts_chapters") {
        return MediaFixture(
            file, kV + kA + srt + srtFr + chapters + "-map 0 -map 1 -map 2 -map 3 -map_chapters 4 " + kH264 +
                      "-c:a aac -c:s srt -metadata:s:a language=fre -metadata:s:a title=Commentaire "
                      "-metadata:s:s:0 language=eng -metadata:s:s:1 language=fre "
                      "-disposition:s:1 forced -attach " +
                      ShellQuote(Font()) + " -metadata:s:t mimetype=application/x-truetype-font");
    }
    if (c.name == "mp4_movtext_chapters") {
        return MediaFixture(file, kV + kA + srt + chapters + "-map 0 -map 1 -map 2 -map_chapters 3 " + kH264 +
                                      "-c:a aac -c:s mov_text -metadata:s:s language=eng "
                                      "-metadata:s:a language=ita");
    }
    if (c.name == "hdr_stereo_mkv") {
        const std::string plain = MediaFixture("keep-hdr-plain.mkv", kV + kA + kHevc + "-c:a aac");
        return CommandFixture(file, "mkvmerge -q -o {out} --max-content-light 0:1000 --max-frame-light 0:400 "
                                    "--max-luminance 0:1000 --min-luminance 0:0.005 "
                                    "--chromaticity-coordinates 0:0.68,0.32,0.265,0.69,0.15,0.06 "
                                    "--white-colour-coordinates 0:0.3127,0.329 --stereo-mode 0:1 " +
                                        ShellQuote(plain));
    }
    if (c.name == "anamorphic_mp4") {
        return MediaFixture(file, kV + kA + "-vf setsar=4/3 " + kH264 + "-c:a aac");
    }
    if (c.name == "broadcast_ts") {
        return MediaFixture(file, kV + kA + kA2 + "-map 0 -map 1 -map 2 " + kH264 +
                                      "-c:a:0 aac -c:a:1 ac3 -metadata:s:a:0 language=eng "
                                      "-metadata:s:a:1 language=deu");
    }
    if (c.name == "flv_h264") {
        return MediaFixture(file, kV + kA + kH264 + "-c:a aac");
    }
    if (c.name == "flv_sorenson") {
        return MediaFixture(file, kV + kA + "-c:v flv -c:a libmp3lame -ar 44100");
    }
    if (c.name == "wmv") {
        return MediaFixture(file, kV + kA + "-c:v wmv2 -c:a wmav2");
    }
    if (c.name == "dv") {
        return MediaFixture(file,
                            "-f lavfi -i testsrc2=s=720x576:r=25:d=2 -f lavfi -i sine=d=2:sample_rate=48000 "
                            "-c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 -f dv");
    }
    if (c.name == "mpeg_ps") {
        return MediaFixture(file, kV + kA + "-c:v mpeg2video -c:a mp2 -ar 48000");
    }
    if (c.name == "ogv_theora") {
        return MediaFixture(file, kV + kA + "-c:v libtheora -c:a libvorbis");
    }
    if (c.name == "webm_vp9") {
        return MediaFixture(file, kV + kA + "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -c:a libopus");
    }
    if (c.name == "mp4_cover") {
        return MediaFixture(file, kV + kA + cover + "-map 0 -map 1 -map 2 " + kH264 +
                                      "-c:a aac -c:v:1 copy -disposition:v:1 attached_pic");
    }
    if (c.name == "mkv_cover") {
        return MediaFixture(file, kV + kA + kH264 + "-c:a aac -attach " + ShellQuote(Cover()) +
                                      " -metadata:s:t mimetype=image/jpeg -metadata:s:t filename=cover.jpg");
    }
    ADD_FAILURE() << "no input for " << c.name;
    return {};
}

// One stream as the comparison sees it.
struct StreamView {
    std::string kind, codec, tag, language, title, handler, timecode, rotate;
    int disposition = 0;
    std::set<std::string> sideData; // side data names, the display matrix left out
    std::optional<double> matrixAngle;
    AVRational sar{0, 1}, frameRate{0, 1};
    int packets = 0;
    std::uint64_t hash = 1469598103934665603ULL;
    bool IsCover() const { return (disposition & AV_DISPOSITION_ATTACHED_PIC) != 0; }
};

struct FileView {
    bool opened = false;
    std::vector<StreamView> streams;
    std::vector<std::string> chapters; // titles
    std::map<std::string, std::string> tags;
};

std::string Tag(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    return entry != nullptr ? entry->value : "";
}

FileView ReadView(const std::string& path) {
    FileView view;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return view;
    }
    InputFormatPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return view;
    }
    view.opened = true;
    for (const AVDictionaryEntry* e = nullptr;
         (e = av_dict_get(input->metadata, "", e, AV_DICT_IGNORE_SUFFIX));) {
        view.tags[e->key] = e->value;
    }
    for (unsigned i = 0; i < input->nb_chapters; ++i) {
        view.chapters.push_back(Tag(input->chapters[i]->metadata, "title"));
    }
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream& stream = *input->streams[i];
        StreamView s;
        const char* kind = av_get_media_type_string(stream.codecpar->codec_type);
        s.kind = kind != nullptr ? kind : "unknown";
        s.codec = avcodec_get_name(stream.codecpar->codec_id);
        char fourcc[AV_FOURCC_MAX_STRING_SIZE] = {};
        s.tag =
            stream.codecpar->codec_tag != 0 ? av_fourcc_make_string(fourcc, stream.codecpar->codec_tag) : "";
        s.language = Tag(stream.metadata, "language");
        s.title = Tag(stream.metadata, "title");
        s.handler = Tag(stream.metadata, "handler_name");
        s.timecode = Tag(stream.metadata, "timecode");
        s.rotate = Tag(stream.metadata, "rotate");
        s.disposition = stream.disposition;
        s.sar = stream.sample_aspect_ratio.num != 0 ? stream.sample_aspect_ratio
                                                    : stream.codecpar->sample_aspect_ratio;
        s.frameRate = stream.avg_frame_rate;
        for (int d = 0; d < stream.nb_side_data; ++d) {
            const AVPacketSideData& data = stream.side_data[d];
            if (data.type == AV_PKT_DATA_DISPLAYMATRIX) {
                if (data.size >= 36) {
                    s.matrixAngle = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(data.data));
                }
                continue;
            }
            s.sideData.insert(av_packet_side_data_name(data.type));
        }
        view.streams.push_back(s);
    }
    PacketPtr packet = MakePacket();
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        StreamView& s = view.streams[static_cast<std::size_t>(packet->stream_index)];
        ++s.packets;
        for (int b = 0; b < packet->size; ++b) {
            s.hash = (s.hash ^ packet->data[b]) * 1099511628211ULL;
        }
        av_packet_unref(packet.get());
    }
    return view;
}

// The n-th stream of the same kind and codec (and tag, for data streams), covers counted apart.
bool SameSort(const StreamView& a, const StreamView& b) {
    return a.kind == b.kind && a.codec == b.codec && a.IsCover() == b.IsCover() &&
           (a.kind != "data" || a.tag == b.tag);
}

const StreamView* Counterpart(const FileView& file, const FileView& from, std::size_t index) {
    const StreamView& wanted = from.streams[index];
    int nth = 0;
    for (std::size_t i = 0; i < index; ++i) {
        nth += SameSort(from.streams[i], wanted);
    }
    for (const StreamView& s : file.streams) {
        if (SameSort(s, wanted) && nth-- == 0) {
            return &s;
        }
    }
    return nullptr;
}

// Streams the reference adds that are not the input's: a cover it turns into a second video, and the
// extra data track it makes of an MP4's chapter track (tagged gpmd although no telemetry was there).
bool ReferenceArtifact(const StreamView& s, const KeepCase& c, const FileView& input) {
    const bool inputHasTelemetry = std::any_of(input.streams.begin(), input.streams.end(),
                                               [](const StreamView& i) { return i.tag == "gpmd"; });
    return (c.keepsCover && s.kind == "video" && s.codec == "mjpeg") ||
           (s.tag == "gpmd" && !inputHasTelemetry);
}

int CountOf(const FileView& file, const std::string& kind, const KeepCase& c, const FileView& input) {
    return static_cast<int>(std::count_if(file.streams.begin(), file.streams.end(), [&](const StreamView& s) {
        return s.kind == kind && !s.IsCover() && !ReferenceArtifact(s, c, input);
    }));
}

// Two spellings of one ISO 639-2 language (QuickTime keeps only the bibliographic one).
bool SameLanguage(const std::string& a, const std::string& b) {
    const std::set<std::set<std::string>> spellings = {{"deu", "ger"}, {"fra", "fre"}};
    return a == b || spellings.count({a, b}) != 0;
}

// ffmpeg's error lines without the object addresses, which differ from run to run.
std::string DecodeErrors(const std::string& path) {
    std::string log;
    if (RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f null - 2>&1", &log) != 0) {
        log += "(exit status not 0)";
    }
    std::string cleaned;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log.compare(i, 3, " 0x") == 0) {
            i += 3;
            while (i < log.size() && std::isxdigit(static_cast<unsigned char>(log[i]))) {
                ++i;
            }
            --i;
            continue;
        }
        cleaned += log[i];
    }
    return cleaned;
}

std::string ExpectedRoll(int angle) {
    return angle == 90 ? "-90" : angle == 180 ? "-180" : "90";
}

// The whole comparison: the output keeps at least what the reference keeps, plus what the case names.
void ExpectOutputKeeps(const KeepCase& c, const std::string& input, const std::string& output,
                       const std::string& reference) {
    // Decoding is clean, or has no other complaint than decoding the reference has (an MPEG-PS input's
    // own timestamps).
    const std::string decodeErrors = DecodeErrors(output);
    if (!decodeErrors.empty()) {
        EXPECT_EQ(decodeErrors, DecodeErrors(reference)) << "decoding " << output;
    }

    const FileView in = ReadView(input);
    const FileView out = ReadView(output);
    const FileView ref = ReadView(reference);
    ASSERT_TRUE(in.opened && out.opened && ref.opened);

    // Every stream the reference keeps is in the output, with the same packets, tag and labels.
    for (std::size_t i = 0; i < ref.streams.size(); ++i) {
        const StreamView& r = ref.streams[i];
        if (r.IsCover() || ReferenceArtifact(r, c, in)) {
            continue; // covers are compared below
        }
        const StreamView* o = Counterpart(out, ref, i);
        ASSERT_NE(o, nullptr) << "the output lacks the reference's " << r.kind << " stream " << i << " ("
                              << r.codec << ")";
        EXPECT_EQ(o->packets, r.packets) << r.kind << " " << i;
        EXPECT_EQ(o->hash, r.hash) << r.kind << " " << i;
        EXPECT_EQ(o->tag, r.tag) << r.kind << " " << i;
        if (!r.language.empty()) {
            EXPECT_PRED2(SameLanguage, o->language, r.language) << r.kind << " " << i;
        }
        if (!r.title.empty()) {
            EXPECT_EQ(o->title, r.title) << r.kind << " " << i;
        }
        if (!r.handler.empty()) {
            EXPECT_EQ(o->handler, r.handler) << r.kind << " " << i;
        }
        constexpr int kKeptFlags =
            AV_DISPOSITION_FORCED | AV_DISPOSITION_HEARING_IMPAIRED | AV_DISPOSITION_COMMENT;
        EXPECT_EQ(o->disposition & r.disposition & kKeptFlags, r.disposition & kKeptFlags)
            << r.kind << " " << i;
        for (const std::string& name : r.sideData) {
            EXPECT_TRUE(o->sideData.count(name)) << r.kind << " " << i << " lacks " << name;
        }
        if (r.kind == "video") {
            EXPECT_EQ(av_cmp_q(o->sar, r.sar), 0) << "sample aspect ratio";
            EXPECT_NEAR(av_q2d(o->frameRate), av_q2d(r.frameRate), 0.01) << "frame rate";
        }
    }
    for (const char* kind : {"video", "audio", "subtitle", "data", "attachment"}) {
        EXPECT_GE(CountOf(out, kind, c, in), CountOf(ref, kind, c, in)) << kind;
    }
    if (!ref.chapters.empty()) {
        EXPECT_EQ(out.chapters, in.chapters);
    }

    // What the input says about its streams stays, whatever the reference does.
    for (std::size_t i = 0; i < in.streams.size(); ++i) {
        const StreamView& s = in.streams[i];
        const StreamView* o = Counterpart(out, in, i);
        if (o == nullptr || s.IsCover()) {
            continue;
        }
        if (!s.language.empty() && s.language != "und") {
            EXPECT_PRED2(SameLanguage, o->language, s.language) << s.kind << " " << i;
        }
        if (s.kind == "video") {
            EXPECT_EQ(av_cmp_q(o->sar, s.sar), 0) << "sample aspect ratio of the input";
        }
        // The ROTATE tag is on video tracks only (FFmpeg reads it back from Matroska, not from QuickTime).
        if (s.kind != "video") {
            EXPECT_EQ(o->rotate, "") << s.kind << " " << i;
        } else if (c.outputExtension == "mkv" || c.outputExtension == "webm") {
            EXPECT_EQ(o->rotate, std::to_string(c.angle));
        }
    }
    const std::vector<const StreamView*> videos = [&] {
        std::vector<const StreamView*> found;
        for (const StreamView& s : out.streams) {
            if (s.kind == "video" && !s.IsCover()) {
                found.push_back(&s);
            }
        }
        return found;
    }();
    ASSERT_EQ(static_cast<int>(videos.size()), CountOf(in, "video", c, in));
    const StreamView& video = *videos.front();
    if (!c.videoTag.empty()) {
        EXPECT_EQ(video.tag, c.videoTag);
    }
    if (!c.timecode.empty()) {
        EXPECT_EQ(video.timecode, c.timecode);
    }
    for (const std::string& name : c.sideData) {
        EXPECT_TRUE(video.sideData.count(name)) << "video lacks " << name;
    }
    if (c.keepsCover) {
        const int covers = static_cast<int>(std::count_if(out.streams.begin(), out.streams.end(),
                                                          [](const StreamView& s) { return s.IsCover(); }));
        EXPECT_EQ(covers, 1);
    }
    if (c.appleKeys) {
        std::string make;
        RunCommand("exiftool -s3 -Make " + ShellQuote(output), &make);
        EXPECT_EQ(Trimmed(make), "Apple");
        EXPECT_EQ(out.tags.count("com.apple.quicktime.location.ISO6709")
                      ? out.tags.at("com.apple.quicktime.location.ISO6709")
                      : "",
                  "+48.8584+002.2945+035.000/");
    }

    // The rotation, as an independent reader sees it, and as FFmpeg's own demuxer reports it.
    ASSERT_TRUE(video.matrixAngle.has_value()) << "no rotation that FFmpeg reads";
    EXPECT_NEAR(std::fmod(-*video.matrixAngle + 360.0, 360.0), c.angle, 0.01);
    if (c.outputExtension == "mkv" || c.outputExtension == "webm") {
        std::string info;
        RunCommand("mkvinfo -a " + ShellQuote(output), &info);
        const std::string line = "Projection's roll rotation: " + ExpectedRoll(c.angle) + "\n";
        int rolls = 0;
        for (std::size_t at = 0; (at = info.find("Projection's roll rotation:", at)) != std::string::npos;
             ++at) {
            ++rolls;
        }
        EXPECT_EQ(rolls, static_cast<int>(videos.size()));
        EXPECT_NE(info.find(line), std::string::npos) << info;
        EXPECT_NE(info.find("Projection type: 0"), std::string::npos);
        // The frame rate is stored (as the video track's default duration), so players need not guess it.
        const StreamView& inputVideo = *std::find_if(in.streams.begin(), in.streams.end(),
                                                     [](const StreamView& s) { return s.kind == "video"; });
        char expected[64];
        std::snprintf(expected, sizeof expected, "(%.3f frames/fields per second for a video track)",
                      av_q2d(inputVideo.frameRate));
        EXPECT_NE(info.find(expected), std::string::npos) << expected << "\n" << info;
    } else {
        std::string rotation;
        RunCommand("exiftool -s3 -Rotation " + ShellQuote(output), &rotation);
        EXPECT_EQ(Trimmed(rotation), std::to_string(c.angle));
    }
}

class OutputKeeps : public ::testing::TestWithParam<KeepCase> {};

TEST_P(OutputKeeps, WhatTheReferenceKeepsAndTheRotation) {
    const KeepCase& c = GetParam();
    for (const char* tool : {"ffmpeg", "exiftool", "mkvinfo", "mkvmerge"}) {
        if (!HasTool(tool)) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    const std::string input = InputOf(c);
    ASSERT_FALSE(input.empty());
    ScopedTempDir dir;
    auto job = MakeBatchJob({input}, {dir.file("out." + c.inputExtension)}, c.angle);
    const BatchOutcome outcome = RunBatch(*job);
    ASSERT_EQ(outcome.statuses, std::vector<int>{kFileStatusConverted});
    const std::string output = dir.file("out." + c.outputExtension);
    ASSERT_TRUE(std::filesystem::exists(output)) << output;
    if (c.outputExtension != c.inputExtension) {
        EXPECT_FALSE(std::filesystem::exists(dir.file("out." + c.inputExtension)));
    }

    const std::string reference = dir.file("reference." + c.outputExtension);
    std::string log;
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(input) + " -map 0 -c copy " +
                             ShellQuote(reference) + " 2>&1",
                         &log),
              0)
        << log;
    ExpectOutputKeeps(c, input, output, reference);
}

INSTANTIATE_TEST_SUITE_P(
    RealisticInputs, OutputKeeps,
    ::testing::Values(
        Row("iphone_hevc_mov", "mov", "mov", 90).WithVideoTag("hvc1").WithAppleKeys(),
        Row("iphone_hevc_mp4", "mp4", "mp4", 270).WithVideoTag("hvc1").WithAppleKeys(),
        Row("camera_avi_mjpeg", "avi", "mov", 90),
        Row("mjpeg_timecode_mov", "mov", "mov", 180).WithVideoTag("jpeg").WithTimecode("01:02:03:04"),
        Row("prores_proxy_mov", "mov", "mov", 90).WithVideoTag("apco"), Row("xvid_avi", "avi", "mp4", 270),
        Row("mkv_subtitles_fonts_chapters", "mkv", "mkv", 90), Row("mp4_movtext_chapters", "mp4", "mp4", 180),
        Row("hdr_stereo_mkv", "mkv", "mkv", 270)
            .WithSideData({"Mastering display metadata", "Content light level metadata", "Stereo 3D"}),
        Row("anamorphic_mp4", "mp4", "mp4", 90), Row("broadcast_ts", "ts", "mp4", 90),
        Row("flv_h264", "flv", "mp4", 180), Row("flv_sorenson", "flv", "mkv", 90),
        Row("wmv", "wmv", "mkv", 270), Row("dv", "dv", "mov", 90), Row("mpeg_ps", "mpg", "mp4", 90),
        Row("ogv_theora", "ogv", "mkv", 180), Row("webm_vp9", "webm", "webm", 90),
        Row("mp4_cover", "mp4", "mp4", 90).WithCover(), Row("mkv_cover", "mkv", "mkv", 270).WithCover()),
    [](const auto& info) { return info.param.name; });

// The list's facts come from the real picture, and files that are not videos are refused by name.
TEST(OutputKeepsProbe, CoversNeverGiveTheFactsAndPicturesAreRefused) {
    const MediaFacts camera = ProbeMedia(InputOf(Row("camera_avi_mjpeg", "avi")));
    ASSERT_TRUE(camera.Accepted()) << camera.refusal;
    EXPECT_EQ(camera.width, 320);
    EXPECT_EQ(camera.frameRateNum / std::max(camera.frameRateDen, 1), 30);
    EXPECT_GT(camera.videoBitRate, 0);

    const std::string tone = "-f lavfi -i sine=d=1 ";
    const std::string refused[] = {
        MediaFixture("keep-song.mp3",
                     tone + "-i " + ShellQuote(Cover()) +
                         " -map 0 -map 1 -c:a libmp3lame -c:v copy -disposition:v attached_pic"),
        Cover(), MediaFixture("keep-still.png", "-f lavfi -i color=c=blue:s=64x64 -frames:v 1"),
        MediaFixture("keep-animation.gif", "-f lavfi -i testsrc2=s=64x64:r=10:d=1")};
    for (const std::string& path : refused) {
        const MediaFacts facts = ProbeMedia(path);
        EXPECT_FALSE(facts.Accepted()) << path;
        EXPECT_FALSE(facts.refusal.empty()) << path;
    }

    // Matroska, WebM and transport streams list no video bit rate: it is measured.
    for (const KeepCase& c : {Row("mkv_cover", "mkv"), Row("webm_vp9", "webm"), Row("broadcast_ts", "ts"),
                              Row("flv_h264", "flv")}) {
        const MediaFacts facts = ProbeMedia(InputOf(c));
        ASSERT_TRUE(facts.Accepted()) << c.name;
        EXPECT_GT(facts.videoBitRate, 10000) << c.name;
        EXPECT_EQ(facts.width, 320) << c.name;
    }
}

} // namespace
} // namespace quarnix::test

namespace quarnix::test {
namespace {

// Every video track gets the Projection; an absolute rotation of a rotated file replaces it; a file that
// is not as the muxer writes it is left untouched.
TEST(MatroskaRotation, EveryVideoTrackOnceAndOnlyTheLatestAngle) {
    if (!HasTool("mkvinfo")) {
        GTEST_SKIP() << "mkvinfo is not installed";
    }
    const std::string twoVideos = MediaFixture(
        "keep-two-videos.mkv", kV + "-f lavfi -i testsrc2=s=160x90:r=25:d=2 " + kA + "-map 0 -map 1 -map 2 " +
                                   kH264 + "-c:a aac -metadata:s:v:1 title=Inset");
    ScopedTempDir dir;
    auto first = MakeBatchJob({twoVideos}, {dir.file("once.mkv")}, 90);
    ASSERT_EQ(RunBatch(*first).statuses, std::vector<int>{kFileStatusConverted});
    EXPECT_EQ(ReadMkvInfo(dir.file("once.mkv")).rolls, (std::vector<std::string>{"-90", "-90"}));

    auto second = MakeBatchJob({dir.file("once.mkv")}, {dir.file("twice.mkv")}, 270);
    second->m_absoluteRotation = 1;
    ASSERT_EQ(RunBatch(*second).statuses, std::vector<int>{kFileStatusConverted});
    EXPECT_EQ(ReadMkvInfo(dir.file("twice.mkv")).rolls, (std::vector<std::string>{"90", "90"}));
    const FileView twice = ReadView(dir.file("twice.mkv"));
    ASSERT_TRUE(twice.opened);
    int rotated = 0;
    for (const StreamView& s : twice.streams) {
        if (s.kind == "video") {
            ASSERT_TRUE(s.matrixAngle.has_value());
            EXPECT_NEAR(*s.matrixAngle, -270.0 + 360.0, 0.01); // FFmpeg reports counter-clockwise degrees
            ++rotated;
        }
    }
    EXPECT_EQ(rotated, 2);
    EXPECT_EQ(DecodeErrors(dir.file("twice.mkv")), "");

    // Not Matroska, and Matroska cut short before its tracks: refused, and not a byte changes.
    std::ofstream(dir.file("notes.mkv")) << "plain text, not EBML";
    const std::string whole = ReadFileBytes(dir.file("once.mkv"));
    std::ofstream(dir.file("short.mkv"), std::ios::binary) << whole.substr(0, 200);
    for (const std::string& path : {dir.file("notes.mkv"), dir.file("short.mkv")}) {
        const std::string before = ReadFileBytes(path);
        EXPECT_EQ(SetMatroskaRotation(path, {90}), AVERROR_INVALIDDATA) << path;
        EXPECT_EQ(ReadFileBytes(path), before) << path;
    }
}

} // namespace
} // namespace quarnix::test

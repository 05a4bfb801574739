// Every member of the QuickTime and Matroska families is marked in place like its common twin, and a
// rewritten ROTATE tag keeps what else it holds.
#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaFacts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quarnix::test {
namespace {

struct Twin {
    std::string name;
    std::string source; // the fixture whose bytes both names get
    std::string extension;
    std::string twinExtension;
};

// F4V (a chaptered MOV's bytes: text track, timecode, edit list), ISMV (fragmented MP4 with its own
// brand) and MK3D must come out exactly as the same bytes named .mp4 or .mkv do: marked in place.
TEST(ContainerFamily, F4vIsmvAndMk3dAreMarkedLikeTheSameBytesNamedMp4OrMkv) {
    const std::vector<Twin> twins = {
        {"f4v", ChapteredMovWithTimecode(), "f4v", "mp4"},
        {"ismv", MediaFixture("fragmented.ismv", kMarkerVideo + kTone + kH264 + "-c:a aac -shortest -f ismv"),
         "ismv", "mp4"},
        {"mk3d", MarkerClip("mkv"), "mk3d", "mkv"},
    };
    for (const Twin& twin : twins) {
        SCOPED_TRACE(twin.name);
        ScopedTempDir dir;
        std::filesystem::create_directory(dir.file("in"));
        std::vector<std::string> inputs;
        std::vector<std::string> outputs;
        for (const std::string& extension : {twin.extension, twin.twinExtension}) {
            inputs.push_back(dir.file("in/clip." + extension));
            std::filesystem::copy_file(twin.source, inputs.back());
            outputs.push_back(dir.file("clip." + extension));
        }
        auto job = MakeBatchJob(inputs, outputs, 90);
        ASSERT_EQ(RunBatch(*job).statuses, (std::vector<int>{kFileStatusConverted, kFileStatusConverted}))
            << job->m_entryReasons[0];
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(job->OutcomeOf(i).method, WriteMethod::kMarkedInPlace)
                << job->OutcomeOf(i).methodDetail;
            EXPECT_EQ(job->OutcomeOf(i).outputPath, outputs[static_cast<std::size_t>(i)]);
        }
        const std::string marked = ReadFileBytes(outputs[0]);
        ASSERT_FALSE(marked.empty());
        EXPECT_TRUE(marked == ReadFileBytes(outputs[1])) << "the outputs differ";
        EXPECT_EQ(DisplayedMarkerCorner(outputs[0], 90), "top-right");
    }
}

// A ROTATE tag with a language and a nested tag, as mkvpropedit writes it: a new angle changes its
// string only.
TEST(ContainerFamily, AReplacedRotateTagKeepsItsLanguageAndNestedTags) {
    ScopedTempDir dir;
    const std::string input = dir.file("tagged.mkv");
    std::filesystem::copy_file(MarkerClip("mkv"), input);
    std::ofstream(dir.file("tags.xml"))
        << "<?xml "
           "version=\"1.0\"?><Tags><Tag><Targets></Targets><Simple><Name>ROTATE</Name><String>90</String>"
           "<TagLanguage>ger</TagLanguage><Simple><Name>NOTE</Name><String>kept</String></Simple></Simple>"
           "</Tag></Tags>";
    ASSERT_EQ(RunCommand("mkvpropedit -q " + ShellQuote(input) +
                         " --tags track:v1:" + ShellQuote(dir.file("tags.xml"))),
              0);
    auto job = MakeBatchJob({input}, {dir.file("turned.mkv")}, 180);
    ASSERT_EQ(RunBatch(*job).statuses, std::vector<int>{kFileStatusConverted}) << job->m_entryReasons[0];
    EXPECT_EQ(ReadMkvInfo(dir.file("turned.mkv")).rotateTags, std::vector<std::string>{"180"});
    std::string text;
    RunCommand("mkvinfo -a " + ShellQuote(dir.file("turned.mkv")), &text);
    const std::size_t rotate = text.find("Name: ROTATE");
    ASSERT_NE(rotate, std::string::npos);
    const std::string after = text.substr(rotate, 400);
    EXPECT_NE(after.find("Tag language: ger"), std::string::npos) << after;
    EXPECT_NE(after.find("Name: NOTE"), std::string::npos) << after;
    EXPECT_NE(after.find("String: kept"), std::string::npos) << after;
}

struct MatroskaChoice {
    std::string name;
    std::string input;
    bool keepMatroska;
    std::string outputName; // what the output is called
    std::string note;       // the start of the entry's note
};

// Matroska and WebM go into MP4 when it keeps everything of them, and say why; a file with fonts (which
// MP4 cannot hold) or one the user keeps as Matroska stays Matroska and says which players ignore it.
TEST(ContainerFamily, MatroskaIsWrittenAsMp4WhenMp4KeepsEverything) {
    const std::string font = TextFixture("font.ttf", "not really a font, but an attachment all the same");
    const std::vector<MatroskaChoice> cases = {
        {"plain_mkv", MarkerClip("mkv"), false, "clip.mp4", "written as MP4: most players ignore"},
        {"webm",
         MediaFixture("marker-vp9.webm", kMarkerVideo + kTone +
                                             "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 100k "
                                             "-c:a libopus -shortest"),
         false, "clip.mp4", "written as MP4: most players ignore"},
        {"mkv_with_font",
         MediaFixture("marker-font.mkv", "-i " + ShellQuote(MarkerClip("mkv")) + " -map 0 -c copy -attach " +
                                             ShellQuote(font) + " -metadata:s:t mimetype=font/ttf"),
         false, "clip.mkv", "kept as Matroska: VLC 3, mpv 0.35 and GNOME Videos 43"},
        {"kept_by_choice", MarkerClip("mkv"), true, "clip.mkv", "kept as Matroska: VLC 3, mpv 0.35"},
    };
    for (const MatroskaChoice& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTempDir dir;
        const std::string extension = c.name == "webm" ? "webm" : "mkv";
        auto job = MakeBatchJob({c.input}, {dir.file("clip." + extension)}, 90);
        job->m_keepMatroska = c.keepMatroska ? 1 : 0;
        ASSERT_EQ(RunBatch(*job).statuses, std::vector<int>{kFileStatusConverted}) << job->m_entryReasons[0];
        const EntryOutcome outcome = job->OutcomeOf(0);
        EXPECT_EQ(outcome.outputPath, dir.file(c.outputName));
        EXPECT_EQ(outcome.reason.substr(0, c.note.size()), c.note);
        EXPECT_EQ(DisplayedMarkerCorner(outcome.outputPath, 90), "top-right");
        const FileFacts in = ReadMediaFacts(c.input);
        const FileFacts out = ReadMediaFacts(outcome.outputPath);
        for (const char* kind : {"video", "audio"}) {
            ASSERT_EQ(out.OfKind(kind).size(), 1u) << kind;
            EXPECT_EQ(out.OfKind(kind)[0].packets, in.OfKind(kind)[0].packets) << kind;
        }
        if (c.outputName.ends_with(".mp4")) {
            std::string rotation;
            RunCommand("exiftool -s3 -Rotation " + ShellQuote(outcome.outputPath), &rotation);
            EXPECT_EQ(Trimmed(rotation), "90");
        } else {
            EXPECT_EQ(ReadMkvInfo(outcome.outputPath).rolls, std::vector<std::string>{"-90"});
        }
    }
}

// VLC 3 shows AV1 in MP4 unrotated: an AV1 output marked in MP4 says so, whether the MP4 was marked in
// place or a Matroska input was written as MP4; an H.264 one does not.
TEST(ContainerFamily, Av1MarkedInMp4SaysWhichPlayerIgnoresIt) {
    const std::string av1Options =
        kMarkerVideo + kTone + "-c:v libaom-av1 -cpu-used 8 -b:v 100k -c:a aac -shortest";
    const std::string note = "VLC 3 shows AV1 video in MP4 unrotated";
    const struct {
        std::string name;
        std::string input;
        std::string outputName;
        bool av1;
    } cases[] = {
        {"av1_mp4", MediaFixture("marker-av1.mp4", av1Options), "clip.mp4", true},
        {"av1_mkv", MediaFixture("marker-av1.mkv", av1Options), "clip.mp4", true},
        {"h264_mp4", MarkerClip("mp4"), "clip.mp4", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTempDir dir;
        auto job = MakeBatchJob({c.input}, {dir.file("clip" + c.input.substr(c.input.rfind('.')))}, 90);
        job->m_keepMatroska = 0;
        ASSERT_EQ(RunBatch(*job).statuses, std::vector<int>{kFileStatusConverted}) << job->m_entryReasons[0];
        const EntryOutcome outcome = job->OutcomeOf(0);
        EXPECT_EQ(outcome.outputPath, dir.file(c.outputName));
        EXPECT_EQ(outcome.reason.find(note) != std::string::npos, c.av1) << outcome.reason;
        EXPECT_EQ(DisplayedMarkerCorner(outcome.outputPath, 90), "top-right");
    }
}

} // namespace
} // namespace quarnix::test

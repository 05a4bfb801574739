#include "SettingsTestSupport.h"
#include "settings/OutputPresets.h"
#include "settings/Settings.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

#include <gtest/gtest.h>

namespace quarnix {
namespace {

using test::ReadBytes;
using test::ScopedExecutableFolder;
using test::WriteBytes;

const QString kKeep = "Same as source";

// Restore from the settings file as it stands, then derive into fresh slots.
struct Derived {
    PresetPositions positions;
    DeriveResult result;
    PresetTargets targetSlots;
    JobTargets job;
};
Derived RestoreAndDerive() {
    Derived d;
    d.positions = RestorePresetPositions();
    d.result = DeriveTargets(SelectionAt(d.positions, kKeep), d.targetSlots);
    d.job = JobTargetsFrom(d.targetSlots, d.result.keepSourceSize);
    return d;
}

TEST(OutputPresets, ListContents) {
    EXPECT_EQ(PresetItems(PresetList::Format, kKeep), QStringList{"MP4 - (H264 AAC) AVC(*.mp4)"});
    const QStringList sizes = PresetItems(PresetList::FrameSize, kKeep);
    ASSERT_EQ(sizes.size(), 13);
    EXPECT_EQ(sizes[0], kKeep);
    EXPECT_EQ(sizes[7], "1920*1080");
    EXPECT_EQ(sizes[12], "1080*1920");
    const QStringList rates = PresetItems(PresetList::FrameRate, kKeep);
    ASSERT_EQ(rates.size(), 12);
    EXPECT_EQ(rates[5], "23.975 fps");
    const QStringList qualities = PresetItems(PresetList::VideoQuality, kKeep);
    ASSERT_EQ(qualities.size(), 20);
    EXPECT_EQ(qualities[19], "100000 kbps");
    EXPECT_EQ(PresetItems(PresetList::SampleRate, kKeep),
              (QStringList{"44100 Hz", "48000 Hz", "22050 Hz", "32000 Hz"}));
    EXPECT_EQ(PresetItems(PresetList::AudioQuality, kKeep).size(), 7);
    EXPECT_EQ(PresetItems(PresetList::Channels, kKeep), (QStringList{"1 Channel Mono", "2 Channel Stereo"}));
    EXPECT_EQ(PresetSettingsKey(PresetList::AudioQuality), "audioquality");
    EXPECT_EQ(PresetSettingsKey(PresetList::Channels), "");
}

TEST(OutputPresets, NoJoinSection) {
    ScopedExecutableFolder exe;
    const Derived d = RestoreAndDerive();
    EXPECT_EQ(d.positions.frameSize, 0);
    EXPECT_EQ(d.positions.channels, 1);
    EXPECT_TRUE(d.result.keepSourceSize);
    EXPECT_FALSE(d.result.sizeSplitFailed);
    EXPECT_EQ(d.job.m_keepSourceSize, 1);
    EXPECT_EQ(d.job.m_targetWidth, 0);
    EXPECT_EQ(d.job.m_targetHeight, 0);
    EXPECT_EQ(d.job.m_targetFrameRate, 0.0);
    EXPECT_EQ(d.job.m_videoBitRate, 0);
    EXPECT_EQ(d.job.m_sampleRate, 44100);
    EXPECT_EQ(d.job.m_audioBitRate, 64000);
    EXPECT_EQ(d.job.m_channels, 2);
    EXPECT_EQ(d.job.m_videoCodecId, 27);
    EXPECT_EQ(d.job.m_audioCodecId, 86018);
    EXPECT_EQ(d.targetSlots.videoCodecName, "H.264");
    EXPECT_EQ(d.targetSlots.audioCodecName, "AAC");
}

TEST(OutputPresets, StoredPositions) {
    struct Case {
        const char* join;
        int width, height;
        bool keepSize;
        int videoBitRate;
        double frameRate;
        int sampleRate, audioBitRate;
    };
    const Case cases[] = {
        {"size=7", 1920, 1080, false, 0, 0.0, 44100, 64000},
        {"size=10", 540, 960, false, 0, 0.0, 44100, 64000},
        {"quality=1", 0, 0, true, 500000, 0.0, 44100, 64000},
        {"quality=19", 0, 0, true, 100000000, 0.0, 44100, 64000},
        {"framerate=5", 0, 0, true, 0, 23.975, 44100, 64000},
        {"framerate=8", 0, 0, true, 0, 29.97, 44100, 64000},
        {"samplerate=2", 0, 0, true, 0, 0.0, 22050, 64000},
        {"audioquality=6", 0, 0, true, 0, 0.0, 44100, 320000},
        // Outside the list: position 0, nothing else changes.
        {"size=20\nquality=3", 0, 0, true, 2000000, 0.0, 44100, 64000},
        {"size=-1\nsamplerate=4\naudioquality=-1\nframerate=12", 0, 0, true, 0, 0.0, 44100, 64000},
        {"size=abc\nquality=99", 0, 0, true, 0, 0.0, 44100, 64000},
    };
    for (const Case& c : cases) {
        ScopedExecutableFolder exe;
        WriteBytes(SettingsPath(), QByteArray("[JOIN]\n") + c.join + "\n");
        const Derived d = RestoreAndDerive();
        EXPECT_EQ(d.job.m_targetWidth, c.width) << c.join;
        EXPECT_EQ(d.job.m_targetHeight, c.height) << c.join;
        EXPECT_EQ(d.job.m_keepSourceSize, c.keepSize ? 1 : 0) << c.join;
        EXPECT_EQ(d.job.m_videoBitRate, c.videoBitRate) << c.join;
        EXPECT_DOUBLE_EQ(d.job.m_targetFrameRate, c.frameRate) << c.join;
        EXPECT_EQ(d.job.m_sampleRate, c.sampleRate) << c.join;
        EXPECT_EQ(d.job.m_audioBitRate, c.audioBitRate) << c.join;
        EXPECT_EQ(d.job.m_channels, 2) << c.join;
        EXPECT_FALSE(d.result.sizeSplitFailed) << c.join;
    }
}

TEST(OutputPresets, SaveWritesFiveKeysInOrder) {
    ScopedExecutableFolder exe;
    WriteBytes(SettingsPath(), "[LANGUAGE]\nfile=english.ini\n");
    SavePresetPositions(RestorePresetPositions());
    EXPECT_EQ(ReadBytes(SettingsPath()),
              QByteArray("[LANGUAGE]\nfile=english.ini\n[JOIN]\nquality=0\nsize=0\nframerate=0\n"
                         "audioquality=0\nsamplerate=0\n"));

    PresetPositions positions;
    positions.videoQuality = 4;
    positions.frameSize = -1; // a list without selection
    positions.format = 3;     // never written
    SavePresetPositions(positions);
    EXPECT_EQ(ReadBytes(SettingsPath()),
              QByteArray("[LANGUAGE]\nfile=english.ini\n[JOIN]\nquality=4\nsize=-1\nframerate=0\n"
                         "audioquality=0\nsamplerate=0\n"));
    EXPECT_EQ(RestorePresetPositions().frameSize, 0);
    EXPECT_EQ(RestorePresetPositions().videoQuality, 4);
}

TEST(OutputPresets, SizeSplit) {
    struct Case {
        const char* text;
        bool ok;
        int width, height; // -1: no numbers
    };
    const Case cases[] = {
        {"", true, -1, -1},      {"640*480", true, 640, 480}, {"0*0", true, 0, 0},
        {"*480", false, -1, -1}, {"640*", false, -1, -1},     {"640", false, -1, -1},
        {"*", false, -1, -1},    {"abc*def", true, 0, 0},     {"12x*3y", true, 12, 3},
        {"1*2*3", true, 1, 2},   {" 7 * 8", true, 7, 8},      {"99999999999*1", true, 2147483647, 1},
    };
    for (const Case& c : cases) {
        const SizeSplit split = SplitSize(c.text);
        EXPECT_EQ(split.ok, c.ok) << c.text;
        EXPECT_EQ(split.width.value_or(-1), c.width) << c.text;
        EXPECT_EQ(split.height.value_or(-1), c.height) << c.text;
    }
}

TEST(OutputPresets, FailedSplitKeepsTheSlotsAndAsksForTheMessage) {
    PresetTargets targetSlots;
    targetSlots.width = 1280;
    targetSlots.height = 720;
    targetSlots.channels = 1;
    PresetSelection selection = SelectionAt(PresetPositions{}, kKeep);
    selection.frameSizePosition = 3;
    selection.frameSizeText = "1280x720";
    selection.channelsText = "7.1 Channel"; // unknown: the channel slot keeps its value
    const DeriveResult result = DeriveTargets(selection, targetSlots);
    EXPECT_TRUE(result.sizeSplitFailed);
    EXPECT_FALSE(result.keepSourceSize);
    EXPECT_EQ(targetSlots.width, 1280);
    EXPECT_EQ(targetSlots.height, 720);
    EXPECT_EQ(targetSlots.channels, 1);
    EXPECT_EQ(QString::fromUtf16(kSizeSplitFailedMessage), QString::fromUtf8("转化失败!"));

    // A list without selection (empty text) splits without numbers: the slots stay too.
    selection.frameSizeText.clear();
    EXPECT_FALSE(DeriveTargets(selection, targetSlots).sizeSplitFailed);
    EXPECT_EQ(targetSlots.width, 1280);
}

TEST(OutputPresets, RateValues) {
    const std::pair<const char*, int> cases[] = {{"500 kbps", 500000},
                                                 {"64 kbps", 64000},
                                                 {"100000 kbps", 100000000},
                                                 {"1.5 kbps", 1500},
                                                 {"44100 Hz", 44100},
                                                 {"22050 Hz", 22050},
                                                 {"0", 0},
                                                 {"", 0},
                                                 {"Same as source", 0},
                                                 {"abc kbps", 0},
                                                 {"48000Hz", 0},
                                                 {"128kbps", 0},
                                                 {"9999999 kbps", 2147483647},
                                                 {"12 kbps 3 Hz", 12000}};
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(RateValue(text), value) << text;
    }
}

TEST(OutputPresets, ChannelsFrameRatesAndCodecs) {
    EXPECT_EQ(ChannelValue("1 Channel Mono"), 1);
    EXPECT_EQ(ChannelValue("2 Channel Stereo"), 2);
    EXPECT_EQ(ChannelValue("5.1 Channel"), 6);
    EXPECT_FALSE(ChannelValue("2 channel stereo").has_value());
    EXPECT_FALSE(ChannelValue("").has_value());

    const std::pair<const char*, double> rates[] = {
        {"8.0 fps", 8.0},        {"12.0 fps", 12.0}, {"14.985 fps", 14.985}, {"23.975 fps", 23.975},
        {"29.97 fps", 29.97},    {"60.0 fps", 60.0}, {"23.976 fps", 0.0},    {"30 fps", 0.0},
        {"Same as source", 0.0}, {"", 0.0}};
    for (const auto& [text, value] : rates) {
        EXPECT_DOUBLE_EQ(FrameRateValue(text), value) << text;
    }
    for (const QString& text : PresetItems(PresetList::FrameRate, kKeep).mid(1)) {
        EXPECT_GT(FrameRateValue(text), 0.0) << text.toStdString();
    }

    EXPECT_EQ(CodecIdFromName("H.264"), AV_CODEC_ID_H264);
    EXPECT_EQ(CodecIdFromName("AAC"), AV_CODEC_ID_AAC);
    EXPECT_EQ(CodecIdFromName("h.264"), AV_CODEC_ID_NONE);
    static_assert(kH264CodecId == AV_CODEC_ID_H264 && kAacCodecId == AV_CODEC_ID_AAC);
}

TEST(OutputPresets, ProgramWideSlotsKeepTheirValues) {
    PresetTargets& targetSlots = TargetSlots();
    targetSlots = PresetTargets{};
    PresetPositions positions;
    positions.frameSize = 6;
    DeriveTargets(SelectionAt(positions, kKeep), targetSlots);
    EXPECT_EQ(TargetSlots().width, 1280);
    EXPECT_EQ(TargetSlots().height, 720);
    targetSlots = PresetTargets{};
}

} // namespace
} // namespace quarnix

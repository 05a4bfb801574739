#include "settings/OutputPresets.h"

#include "settings/NumberText.h"
#include "settings/Settings.h"

#include <cmath>
#include <limits>

namespace quarnix {

namespace {

QStringList WithKeepSource(const QString& keepSourceText, const QStringList& items) {
    return QStringList{keepSourceText} + items;
}

int TruncatedToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483647.0) {
        return std::numeric_limits<int>::max();
    }
    if (value <= -2147483648.0) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(value);
}

QString ItemAt(const QStringList& items, int position) {
    return position >= 0 && position < items.size() ? items[position] : QString();
}

} // namespace

QString PresetSettingsKey(PresetList list) {
    switch (list) {
    case PresetList::Format:
        return QStringLiteral("format");
    case PresetList::FrameSize:
        return QStringLiteral("size");
    case PresetList::FrameRate:
        return QStringLiteral("framerate");
    case PresetList::VideoQuality:
        return QStringLiteral("quality");
    case PresetList::SampleRate:
        return QStringLiteral("samplerate");
    case PresetList::AudioQuality:
        return QStringLiteral("audioquality");
    case PresetList::Channels:
        break;
    }
    return QString();
}

QStringList PresetItems(PresetList list, const QString& keepSourceText) {
    switch (list) {
    case PresetList::Format:
        return {QStringLiteral("MP4 - (H264 AAC) AVC(*.mp4)")};
    case PresetList::FrameSize:
        return WithKeepSource(keepSourceText,
                              {"640*480", "720*480", "720*576", "960*540", "1024*768", "1280*720",
                               "1920*1080", "2880*1440", "3840*2160", "540*960", "720*1280", "1080*1920"});
    case PresetList::FrameRate:
        return WithKeepSource(keepSourceText,
                              {"8.0 fps", "10.0 fps", "15.0 fps", "20.0 fps", "23.975 fps", "24.0 fps",
                               "25.0 fps", "29.97 fps", "30.0 fps", "50.0 fps", "60.0 fps"});
    case PresetList::VideoQuality:
        return WithKeepSource(keepSourceText,
                              {"500 kbps", "1000 kbps", "2000 kbps", "3000 kbps", "4000 kbps", "5000 kbps",
                               "6000 kbps", "8000 kbps", "12000 kbps", "16000 kbps", "20000 kbps",
                               "30000 kbps", "40000 kbps", "50000 kbps", "60000 kbps", "70000 kbps",
                               "80000 kbps", "90000 kbps", "100000 kbps"});
    case PresetList::SampleRate:
        return {"44100 Hz", "48000 Hz", "22050 Hz", "32000 Hz"};
    case PresetList::AudioQuality:
        return {"64 kbps", "96 kbps", "128 kbps", "160 kbps", "192 kbps", "256 kbps", "320 kbps"};
    case PresetList::Channels:
        return {"1 Channel Mono", "2 Channel Stereo"};
    }
    return {};
}

int RestoredPosition(PresetList list, int storedPosition) {
    const qsizetype count = PresetItems(list, QString()).size();
    return storedPosition >= 0 && storedPosition < count ? storedPosition : 0;
}

PresetPositions RestorePresetPositions() {
    const auto restore = [](PresetList list) {
        return RestoredPosition(list, ReadSettingInt(setting::kJoinSection, PresetSettingsKey(list), 0));
    };
    PresetPositions positions;
    positions.format = restore(PresetList::Format);
    positions.frameSize = restore(PresetList::FrameSize);
    positions.frameRate = restore(PresetList::FrameRate);
    positions.videoQuality = restore(PresetList::VideoQuality);
    positions.sampleRate = restore(PresetList::SampleRate);
    positions.audioQuality = restore(PresetList::AudioQuality);
    positions.channels = 1;
    return positions;
}

void SavePresetPositions(const PresetPositions& positions) {
    const auto save = [](PresetList list, int position) {
        WriteSettingInt(setting::kJoinSection, PresetSettingsKey(list), position);
    };
    save(PresetList::VideoQuality, positions.videoQuality);
    save(PresetList::FrameSize, positions.frameSize);
    save(PresetList::FrameRate, positions.frameRate);
    save(PresetList::AudioQuality, positions.audioQuality);
    save(PresetList::SampleRate, positions.sampleRate);
}

PresetSelection SelectionAt(const PresetPositions& positions, const QString& keepSourceText) {
    PresetSelection selection;
    selection.frameSizePosition = positions.frameSize;
    selection.frameSizeText = ItemAt(PresetItems(PresetList::FrameSize, keepSourceText), positions.frameSize);
    selection.frameRateText = ItemAt(PresetItems(PresetList::FrameRate, keepSourceText), positions.frameRate);
    selection.videoQualityPosition = positions.videoQuality;
    selection.videoQualityText =
        ItemAt(PresetItems(PresetList::VideoQuality, keepSourceText), positions.videoQuality);
    selection.sampleRateText =
        ItemAt(PresetItems(PresetList::SampleRate, keepSourceText), positions.sampleRate);
    selection.audioQualityText =
        ItemAt(PresetItems(PresetList::AudioQuality, keepSourceText), positions.audioQuality);
    selection.channelsText = ItemAt(PresetItems(PresetList::Channels, keepSourceText), positions.channels);
    return selection;
}

PresetTargets& TargetSlots() {
    static PresetTargets targetSlots;
    return targetSlots;
}

DeriveResult DeriveTargets(const PresetSelection& selection, PresetTargets& targetSlots) {
    DeriveResult result;
    const QString qualityText =
        selection.videoQualityPosition == 0 ? QStringLiteral("0") : selection.videoQualityText;
    QString sizeText = selection.frameSizeText;
    if (selection.frameSizePosition == 0) {
        result.keepSourceSize = true;
        sizeText = QStringLiteral("0*0");
    }
    const SizeSplit size = SplitSize(sizeText);
    if (!size.ok) {
        result.sizeSplitFailed = true;
    } else if (size.width && size.height) {
        targetSlots.width = *size.width;
        targetSlots.height = *size.height;
    }
    targetSlots.frameRateText = selection.frameRateText;
    targetSlots.videoBitRate = RateValue(qualityText);
    targetSlots.sampleRate = RateValue(selection.sampleRateText);
    if (const auto channels = ChannelValue(selection.channelsText)) {
        targetSlots.channels = *channels;
    }
    targetSlots.audioBitRate = RateValue(selection.audioQualityText);
    targetSlots.videoCodecName = QString::fromLatin1(kVideoCodecName);
    targetSlots.audioCodecName = QString::fromLatin1(kAudioCodecName);
    return result;
}

JobTargets JobTargetsFrom(const PresetTargets& targetSlots, bool keepSourceSize) {
    JobTargets job;
    job.m_keepSourceSize = keepSourceSize ? 1 : 0;
    job.m_videoBitRate = targetSlots.videoBitRate;
    job.m_targetHeight = targetSlots.height;
    job.m_targetWidth = targetSlots.width;
    job.m_audioBitRate = targetSlots.audioBitRate;
    job.m_channels = targetSlots.channels;
    job.m_sampleRate = targetSlots.sampleRate;
    job.m_targetFrameRate = FrameRateValue(targetSlots.frameRateText);
    job.m_videoCodecId = CodecIdFromName(targetSlots.videoCodecName);
    job.m_audioCodecId = CodecIdFromName(targetSlots.audioCodecName);
    return job;
}

SizeSplit SplitSize(const QString& text) {
    if (text.isEmpty()) {
        return {true, std::nullopt, std::nullopt};
    }
    const qsizetype star = text.indexOf(u'*');
    if (star <= 0 || star == text.size() - 1) {
        return {};
    }
    return {true, LeadingIntegerClamped(QStringView(text).first(star)),
            LeadingIntegerClamped(QStringView(text).sliced(star + 1))};
}

int RateValue(const QString& text) {
    if (const qsizetype kbps = text.indexOf(u" kbps"); kbps >= 0) {
        return TruncatedToInt(LeadingDecimal(QStringView(text).first(kbps)) * 1000.0);
    }
    if (const qsizetype hz = text.indexOf(u" Hz"); hz >= 0) {
        return LeadingIntegerClamped(QStringView(text).first(hz));
    }
    return 0;
}

std::optional<int> ChannelValue(const QString& text) {
    if (text == u"1 Channel Mono") {
        return 1;
    }
    if (text == u"2 Channel Stereo") {
        return 2;
    }
    if (text == u"5.1 Channel") {
        return 6;
    }
    return std::nullopt;
}

double FrameRateValue(const QString& text) {
    struct Rate {
        const char16_t* text;
        double value;
    };
    static constexpr Rate kRates[] = {{u"8.0 fps", 8.0},       {u"10.0 fps", 10.0}, {u"12.0 fps", 12.0},
                                      {u"14.985 fps", 14.985}, {u"15.0 fps", 15.0}, {u"20.0 fps", 20.0},
                                      {u"23.975 fps", 23.975}, {u"24.0 fps", 24.0}, {u"25.0 fps", 25.0},
                                      {u"29.97 fps", 29.97},   {u"30.0 fps", 30.0}, {u"50.0 fps", 50.0},
                                      {u"60.0 fps", 60.0}};
    for (const Rate& rate : kRates) {
        if (text == QStringView(rate.text)) {
            return rate.value;
        }
    }
    return 0.0;
}

std::int32_t CodecIdFromName(const QString& name) {
    if (name == QLatin1String(kVideoCodecName)) {
        return kH264CodecId;
    }
    if (name == QLatin1String(kAudioCodecName)) {
        return kAacCodecId;
    }
    return 0;
}

} // namespace quarnix

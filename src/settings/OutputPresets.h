// The output presets without widgets: the items of the hidden preset lists, their positions
// restored from and saved to the JOIN section of setting.ini, and "Derive targets", which turns the
// selected texts into the target parameters of the job record (used by the re-encode mode only).
//
// The main window keeps the lists as hidden combo boxes: it fills each with PresetItems(), selects the
// positions of RestorePresetPositions(), saves them on close with SavePresetPositions(), and at Start
// hands the positions and texts of the selections to DeriveTargets() and copies JobTargetsFrom() into
// the record for every file.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace quarnix {

enum class PresetList {
    Format,       // JOIN format (read, never written)
    FrameSize,    // JOIN size
    FrameRate,    // JOIN framerate
    VideoQuality, // JOIN quality
    SampleRate,   // JOIN samplerate
    AudioQuality, // JOIN audioquality
    Channels,     // not stored: stereo (position 1) at every start
};

// The JOIN key of the list, or "" for the channel list.
QString PresetSettingsKey(PresetList list);

// The items of a list by position. Item 0 of the frame size, frame rate and video quality lists is the
// keep-source text, JIEMIAN ywjyy of the pack in use (ReadPackText).
QStringList PresetItems(PresetList list, const QString& keepSourceText);

// The window's codec lists stay empty; the start command names the codecs itself.
inline constexpr char kVideoCodecName[] = "H.264";
inline constexpr char kAudioCodecName[] = "AAC";
inline constexpr std::int32_t kH264CodecId = 27;   // AV_CODEC_ID_H264
inline constexpr std::int32_t kAacCodecId = 86018; // AV_CODEC_ID_AAC

struct PresetPositions {
    int format = 0;
    int frameSize = 0;
    int frameRate = 0;
    int videoQuality = 0;
    int sampleRate = 0;
    int audioQuality = 0;
    int channels = 1;
};

// A stored position outside its list (JOIN size = 20, or the -1 written for a list without selection)
// is taken as position 0; nothing else changes.
int RestoredPosition(PresetList list, int storedPosition);

// Restore (main window set-up): reads JOIN format, size, framerate, quality, samplerate, audioquality in
// that order (each default 0, out-of-range positions made 0); channels are position 1.
PresetPositions RestorePresetPositions();

// Save (main window close): writes JOIN quality, size, framerate, audioquality, samplerate in that order,
// each "%d" (a list without selection passes -1). JOIN format is never written.
void SavePresetPositions(const PresetPositions& positions);

// What Derive targets reads from the lists: each list's position and the text of its selected item ("" for
// a list without selection).
struct PresetSelection {
    int frameSizePosition = 0;
    QString frameSizeText;
    QString frameRateText;
    int videoQualityPosition = 0;
    QString videoQualityText;
    QString sampleRateText;
    QString audioQualityText;
    QString channelsText;
};

// The selection at the given positions of lists filled by PresetItems (a position outside a list gives "").
PresetSelection SelectionAt(const PresetPositions& positions, const QString& keepSourceText);

// The program-wide preset target slots (all zero or empty at program start). They keep their values
// between batches: a failed size split leaves width and height, an unknown channel text leaves channels.
struct PresetTargets {
    int width = 0;
    int height = 0;
    QString frameRateText;
    int videoBitRate = 0; // bits per second
    int sampleRate = 0;   // hertz
    int audioBitRate = 0; // bits per second
    int channels = 0;
    QString videoCodecName;
    QString audioCodecName;
};
PresetTargets& TargetSlots();

// The message box text of a failed size split when the pack lacks TISHI convertfailed; the caller shows it
// (with OK and the exclamation icon).
inline constexpr char16_t kSizeSplitFailedMessage[] = u"转化失败!";

struct DeriveResult {
    bool keepSourceSize = false;  // frame size list at position 0: the job's m_keepSourceSize = 1
    bool sizeSplitFailed = false; // show TISHI convertfailed (this text without it), then go on
};

// Derive targets (all nine steps below) into the slots.
DeriveResult DeriveTargets(const PresetSelection& selection, PresetTargets& targetSlots);

// What the start command copies into CConvertJob for every file of a batch (same names as the record).
struct JobTargets {
    std::uint8_t m_keepSourceSize = 0;
    std::int32_t m_videoBitRate = 0;
    std::int32_t m_targetHeight = 0;
    std::int32_t m_targetWidth = 0;
    std::int32_t m_audioBitRate = 0;
    std::int32_t m_channels = 0;
    std::int32_t m_sampleRate = 0;
    double m_targetFrameRate = 0.0;
    std::int32_t m_videoCodecId = 0;
    std::int32_t m_audioCodecId = 0;
};
JobTargets JobTargetsFrom(const PresetTargets& targetSlots, bool keepSourceSize);

// ---- The steps of Derive targets ----

// Size split: "" succeeds without numbers; otherwise cut at the first '*', and either side empty (or no
// '*') fails; the two sides read as leading decimal integers (no digits give 0).
struct SizeSplit {
    bool ok = false;
    std::optional<int> width; // set on success with numbers
    std::optional<int> height;
};
SizeSplit SplitSize(const QString& text);

// "500 kbps" → 500000 (the part before the first " kbps" as a decimal fraction × 1000, truncated),
// "44100 Hz" → 44100; anything else → 0.
int RateValue(const QString& text);

// "1 Channel Mono" → 1, "2 Channel Stereo" → 2, "5.1 Channel" → 6, anything else → nothing.
std::optional<int> ChannelValue(const QString& text);

// Exact frame-rate texts ("8.0 fps" ... "60.0 fps", also "12.0 fps" and "14.985 fps") → value; else 0.0.
double FrameRateValue(const QString& text);

// "H.264" → 27, "AAC" → 86018, anything else → 0 (AV_CODEC_ID_NONE).
std::int32_t CodecIdFromName(const QString& name);

} // namespace quarnix

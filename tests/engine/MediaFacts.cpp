#include "MediaFacts.h"

#include "Fixtures.h"
#include "engine/io/FfmpegPtr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <sstream>

extern "C" {
#include <libavutil/display.h>
}

namespace quarnix::test {

namespace {

const std::int32_t* DisplayMatrixOf(const AVStream& stream) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100)
    const AVPacketSideData* data = av_packet_side_data_get(
        stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
    return data != nullptr && data->size >= 36 ? reinterpret_cast<const std::int32_t*>(data->data) : nullptr;
#else
    std::size_t size = 0;
    const std::uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return data != nullptr && size >= 36 ? reinterpret_cast<const std::int32_t*>(data) : nullptr;
#endif
}

} // namespace

std::vector<StreamFacts> FileFacts::OfKind(const std::string& kind) const {
    std::vector<StreamFacts> found;
    std::copy_if(streams.begin(), streams.end(), std::back_inserter(found),
                 [&](const StreamFacts& s) { return s.kind == kind; });
    return found;
}

FileFacts ReadMediaFacts(const std::string& path) {
    FileFacts facts;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return facts;
    }
    InputFormatPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return facts;
    }
    facts.opened = true;
    std::vector<std::int64_t> firstPts(input->nb_streams, std::numeric_limits<std::int64_t>::max());
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream& stream = *input->streams[i];
        StreamFacts s;
        const char* kind = av_get_media_type_string(stream.codecpar->codec_type);
        s.kind = kind != nullptr ? kind : "unknown";
        s.codec = avcodec_get_name(stream.codecpar->codec_id);
        s.payloadHash = 1469598103934665603ULL;
        if (const AVDictionaryEntry* tag = av_dict_get(stream.metadata, "rotate", nullptr, 0)) {
            s.rotateTag = tag->value;
        }
        if (const std::int32_t* matrix = DisplayMatrixOf(stream)) {
            s.matrixAngle = av_display_rotation_get(matrix);
        }
        facts.streams.push_back(s);
    }
    PacketPtr packet = MakePacket();
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        StreamFacts& s = facts.streams[static_cast<std::size_t>(packet->stream_index)];
        ++s.packets;
        for (int b = 0; b < packet->size; ++b) {
            s.payloadHash = (s.payloadHash ^ packet->data[b]) * 1099511628211ULL;
        }
        if (packet->pts != AV_NOPTS_VALUE) {
            firstPts[packet->stream_index] = std::min(firstPts[packet->stream_index], packet->pts);
        }
        av_packet_unref(packet.get());
    }
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (firstPts[i] != std::numeric_limits<std::int64_t>::max()) {
            facts.streams[i].firstPtsSeconds =
                static_cast<double>(firstPts[i]) * av_q2d(input->streams[i]->time_base);
        }
    }
    return facts;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// Where ffmpeg's auto-rotation shows the white box that sits top-left in the stored picture.
std::string DisplayedMarkerCorner(const std::string& path, int angle) {
    std::string gray;
    RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -frames:v 1 -f rawvideo -pix_fmt gray -",
               &gray);
    const bool turned = angle == 90 || angle == 270;
    const int width = turned ? 120 : 160;
    const int height = turned ? 160 : 120;
    if (gray.size() != static_cast<std::size_t>(width * height)) {
        return "no frame of " + std::to_string(width) + "x" + std::to_string(height);
    }
    double sumX = 0, sumY = 0, count = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (static_cast<unsigned char>(gray[static_cast<std::size_t>(y * width + x)]) > 128) {
                sumX += x;
                sumY += y;
                ++count;
            }
        }
    }
    if (count == 0) {
        return "no marker";
    }
    return std::string(sumY / count < height / 2.0 ? "top" : "bottom") + "-" +
           (sumX / count < width / 2.0 ? "left" : "right");
}

MkvInfo ReadMkvInfo(const std::string& path) {
    std::string text;
    EXPECT_EQ(RunCommand("mkvinfo -a " + ShellQuote(path) + " 2>&1", &text), 0) << text;
    MkvInfo info;
    std::istringstream lines(text);
    bool rotateName = false;
    for (std::string line; std::getline(lines, line);) {
        const auto after = [&](const std::string& label) -> std::optional<std::string> {
            const std::size_t at = line.find(label);
            return at == std::string::npos ? std::nullopt : std::optional(line.substr(at + label.size()));
        };
        if (auto roll = after("Projection's roll rotation: ")) {
            info.rolls.push_back(*roll);
        }
        if (auto value = after("+ String: "); value && rotateName) {
            info.rotateTags.push_back(value->substr(0, value->find(" at ")));
        }
        rotateName = line.find("+ Name: ROTATE") != std::string::npos;
        if (line.find("rror") != std::string::npos || line.find("arning") != std::string::npos) {
            info.complaints.push_back(line);
        }
    }
    return info;
}

} // namespace quarnix::test

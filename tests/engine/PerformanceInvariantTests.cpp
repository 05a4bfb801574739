// What the speed-ups of the stream copy must leave unchanged: the output file is opened without truncation
// but still reports every write error, and keeping frame memory between files changes no output byte.
#include "EngineFixtures.h"
#include "Fixtures.h"
#include "engine/io/OutputFile.h"
#include "platform/MemoryReuse.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

namespace quarnix {
namespace {

using test::MakeBatchJob;
using test::MarkerClip;
using test::RunBatch;
using test::ScopedTempDir;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(OpenCreatedOutput, WritesFromTheStartOfTheCreatedFile) {
    ScopedTempDir dir;
    const std::string path = dir.file("out.bin");
    { std::ofstream created(path); }
    AVIOContext* pb = nullptr;
    ASSERT_EQ(OpenCreatedOutput(&pb, path), 0);
    const std::string text(300000, 'x'); // more than one buffer of the file protocol
    avio_write(pb, reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    avio_seek(pb, 0, SEEK_SET); // as the MP4 muxer does to complete the size of its media data
    avio_write(pb, reinterpret_cast<const unsigned char*>("head"), 4);
    avio_flush(pb);
    EXPECT_EQ(pb->error, 0);
    EXPECT_EQ(avio_closep(&pb), 0);
    EXPECT_EQ(ReadAll(path), "head" + text.substr(4));
}

TEST(OpenCreatedOutput, AFullDiskIsReportedAsAnError) {
    // /dev/full fails every write with ENOSPC; it cannot be created exclusively, so it is opened directly.
    AVIOContext* pb = nullptr;
    ASSERT_EQ(OpenCreatedOutput(&pb, "/dev/full"), 0);
    const std::vector<unsigned char> data(1 << 20, 0x55);
    avio_write(pb, data.data(), static_cast<int>(data.size()));
    avio_flush(pb);
    EXPECT_EQ(pb->error, AVERROR(ENOSPC));
    avio_closep(&pb);
}

TEST(OpenCreatedOutput, AMissingFolderIsReportedAsAnError) {
    ScopedTempDir dir;
    AVIOContext* pb = nullptr;
    EXPECT_LT(OpenCreatedOutput(&pb, dir.file("no/such/folder/out.mp4")), 0);
    EXPECT_EQ(pb, nullptr);
}

TEST(ReuseFrameMemory, TheSameInputIsWrittenByteForByteTheSameInEveryEntry) {
    for (const char* extension : {"mp4", "mov", "mkv"}) {
        ScopedTempDir dir;
        const std::string clip = MarkerClip(extension);
        const std::string name = std::string("out.") + extension;
        const std::string first = dir.file("1" + name), second = dir.file("2" + name);
        ReuseFrameMemory();
        ReuseFrameMemory(); // only the first call changes anything
        auto job = MakeBatchJob({clip, clip}, {first, second}, 90);
        const test::BatchOutcome outcome = RunBatch(*job);
        ASSERT_EQ(outcome.statuses, (std::vector<int>{kFileStatusConverted, kFileStatusConverted}));
        if (std::string(extension) != "mkv") { // Matroska writes random track and segment ids
            EXPECT_EQ(ReadAll(first), ReadAll(second)) << extension;
        }
        EXPECT_EQ(std::filesystem::file_size(first), std::filesystem::file_size(second)) << extension;
    }
}

} // namespace
} // namespace quarnix

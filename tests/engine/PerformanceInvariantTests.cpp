// What the speed-ups of the stream copy must leave unchanged: the output file is opened without truncation
// but still reports every write error, and the allocator settings for batches change no output byte.
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

// Each test runs in a process of its own (gtest_discover_tests) and this is the only test that changes the
// allocator settings, so the first round below runs with the C library's defaults and the second with them.
TEST(TuneHeapForBatches, WritesTheSameBytesAsTheDefaultAllocator) {
    // Marked in place (MP4, MOV, Matroska) and stream-copied (MPEG-TS written as MOV): every output is
    // byte-exact, so the two rounds can be compared byte for byte.
    const char* extensions[] = {"mp4", "mov", "mkv", "ts"};
    ScopedTempDir dir;
    const auto write = [&dir](const char* extension, const std::string& round) {
        const std::string clip = MarkerClip(extension);
        const std::string first = dir.file(round + "1." + extension),
                          second = dir.file(round + "2." + extension);
        auto job = MakeBatchJob({clip, clip}, {first, second}, 90);
        const test::BatchOutcome outcome = RunBatch(*job);
        EXPECT_EQ(outcome.statuses, (std::vector<int>{kFileStatusConverted, kFileStatusConverted}))
            << extension;
        return std::vector<std::string>{job->m_outputPaths[0], job->m_outputPaths[1]};
    };
    std::vector<std::vector<std::string>> without;
    for (const char* extension : extensions) {
        without.push_back(write(extension, "without"));
    }
    TuneHeapForBatches();
    TuneHeapForBatches(); // only the first call changes anything
    for (std::size_t i = 0; i < std::size(extensions); ++i) {
        const std::vector<std::string> with = write(extensions[i], "with");
        ASSERT_EQ(with.size(), 2U);
        for (std::size_t entry = 0; entry < 2; ++entry) {
            const std::string before = ReadAll(without[i][entry]), after = ReadAll(with[entry]);
            EXPECT_FALSE(after.empty()) << with[entry];
            EXPECT_EQ(after, before) << with[entry];
        }
    }
}

} // namespace
} // namespace quarnix

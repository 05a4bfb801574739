// What the speed-ups of the stream copy must leave unchanged: the allocator settings for batches change no
// output byte.
#include "EngineFixtures.h"
#include "Fixtures.h"
#include "platform/MemoryReuse.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

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

// What the speed-ups of the stream copy must leave unchanged: keeping frame memory between files changes no
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

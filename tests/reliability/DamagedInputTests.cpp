// Every input the fuzzers kept (fuzz/regressions) and damaged copies of ordinary clips go through the probe
// and a stream copy into Matroska and MP4, as the fuzz targets run them: no crash, no hang, the input keeps
// its bytes, every entry ends converted or failed, and a converted output opens again.
#include "EngineFixtures.h"
#include "FaultSupport.h"
#include "Fixtures.h"
#include "MediaFacts.h"
#include "engine/probe/MediaProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace quarnix::test {
namespace {

namespace fs = std::filesystem;

struct DamagedInput {
    std::string name;
    std::string bytes;
};

std::vector<DamagedInput> KeptFuzzerInputs() {
    std::vector<DamagedInput> inputs;
    for (const auto& entry : fs::directory_iterator(QUARNIX_FUZZ_REGRESSIONS_DIR)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
            inputs.push_back({entry.path().filename().string(), ReadFileBytes(entry.path().string())});
        }
    }
    return inputs;
}

// Cut short, holed with zeros, or with the first bytes lost, as downloads and disks damage files.
std::vector<DamagedInput> DamagedClips() {
    std::vector<DamagedInput> inputs;
    for (const std::string& clip : {MarkerClip("mp4"), MarkerClip("mkv"), TsWithLateAudio()}) {
        const std::string bytes = ReadFileBytes(clip);
        const std::string name = fs::path(clip).filename().string();
        std::string holed = bytes;
        std::fill(holed.begin() + static_cast<long>(holed.size() / 3),
                  holed.begin() + static_cast<long>(holed.size() / 2), '\0');
        inputs.push_back({name + " cut at half", bytes.substr(0, bytes.size() / 2)});
        inputs.push_back({name + " cut after 1000 bytes", bytes.substr(0, 1000)});
        inputs.push_back({name + " holed", holed});
        inputs.push_back({name + " without its first 188 bytes", bytes.substr(188)});
    }
    return inputs;
}

void ExpectHandled(const DamagedInput& damaged) {
    SCOPED_TRACE(damaged.name);
    ScopedTempDir dir;
    const std::string input = dir.file("input");
    WriteFileBytes(input, damaged.bytes);
    ProbeMedia(input);

    for (const char* container : {"mkv", "mp4"}) {
        const std::string output = dir.file(std::string("output.") + container);
        auto job = MakeBatchJob({input}, {output}, 90, 1.0);
        const BatchOutcome outcome = RunBatch(*job);
        ASSERT_EQ(outcome.statuses.size(), 1u);
        EXPECT_TRUE(outcome.statuses[0] == kFileStatusConverted || outcome.statuses[0] == kFileStatusFailed)
            << container << ": " << outcome.statuses[0];
        if (outcome.statuses[0] == kFileStatusConverted) {
            EXPECT_TRUE(ReadMediaFacts("file:" + output).opened) << container;
        }
    }
    EXPECT_EQ(ReadFileBytes(input), damaged.bytes);
}

TEST(DamagedInputs, KeptFuzzerInputsAreHandled) {
    const std::vector<DamagedInput> inputs = KeptFuzzerInputs();
    for (const DamagedInput& input : inputs) {
        ExpectHandled(input);
    }
    RecordProperty("inputs", static_cast<int>(inputs.size()));
}

TEST(DamagedInputs, DamagedClipsAreHandled) {
    for (const DamagedInput& input : DamagedClips()) {
        ExpectHandled(input);
    }
}

} // namespace
} // namespace quarnix::test

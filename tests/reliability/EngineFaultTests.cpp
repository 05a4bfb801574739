// Faults injected under the engine while a batch runs: a full output volume, an output folder removed
// mid-copy, an input truncated or replaced while it is read, unreadable inputs, awkward file names.
// In every case the entry's status says what happened, inputs keep their bytes and no incomplete output is
// reported as converted.
#include "EngineFixtures.h"
#include "FaultSupport.h"
#include "Fixtures.h"
#include "MediaFacts.h"
#include "engine/probe/MediaProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quarnix::test {
namespace {

namespace fs = std::filesystem;

constexpr int P = kFileStatusPending;
constexpr int C = kFileStatusConverted;
constexpr int F = kFileStatusFailed;

int VideoPackets(const std::string& path) {
    const FileFacts facts = ReadMediaFacts("file:" + path);
    const auto video = facts.OfKind("video");
    return facts.opened && !video.empty() ? video[0].packets : -1;
}

// The big entry does not fit; its partial output is removed, which frees the room the small entry needs.
TEST(EngineFaults, FullOutputVolumeFailsTheEntryThatDoesNotFitAndKeepsTheInputs) {
    ScopedTempDir dir;
    const std::string big = LongTs();
    const std::string small = MarkerClip("mp4");
    const std::string bigBefore = ReadFileBytes(big);
    const auto smallSize = static_cast<long long>(fs::file_size(small));
    const long long room = (static_cast<long long>(bigBefore.size()) / 3 + 4095) / 4096 * 4096;
    ASSERT_GT(room, 4 * smallSize);

    BatchOutcome outcome;
    bool mounted = false;
    {
        FullVolume volume(dir.path() / "vol", room);
        mounted = volume.mounted();
        auto job = MakeBatchJob({big, small}, {dir.file("vol/big.mp4"), dir.file("vol/small.mp4")}, 90);
        outcome = RunBatch(*job);
        EXPECT_FALSE(fs::exists(dir.file("vol/big.mp4")));
        ASSERT_TRUE(fs::exists(dir.file("vol/small.mp4")));
        EXPECT_EQ(VideoPackets(dir.file("vol/small.mp4")), VideoPackets(small));
    }
    EXPECT_EQ(outcome.statuses, (std::vector<int>{F, C})) << (mounted ? "tmpfs" : "file-size limit");
    EXPECT_EQ(outcome.currentFile, 2);
    EXPECT_EQ(ReadFileBytes(big), bigBefore);
}

// The first input is a pipe the test feeds, so the folder goes (removed, or moved away) while that entry is
// surely being written. A moved folder keeps no part file: it is removed through the folder's descriptor.
TEST(EngineFaults, OutputFolderGoneMidCopyFailsEveryEntryAndEndsTheBatch) {
    for (const bool moved : {false, true}) {
        ScopedTempDir dir;
        const std::string bytes = ReadFileBytes(LongTs());
        const std::string pipe = dir.file("feed.ts");
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        std::signal(SIGPIPE, SIG_IGN);
        fs::create_directories(dir.path() / "out");
        const std::string clip = MarkerClip("mp4");
        const std::string clipBefore = ReadFileBytes(clip);

        auto job =
            MakeBatchJob({pipe, clip, clip},
                         {dir.file("out/a.mp4"), dir.file("out/b.mp4"), dir.file("out/c.mp4")}, 90, 20.0);
        BatchOutcome outcome;
        std::thread worker([&] { outcome = RunBatch(*job); });
        const int fd = open(pipe.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const std::size_t half = bytes.size() / 2;
        EXPECT_TRUE(FeedPipe(fd, bytes.data(), half));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (job->m_filePercent.load() <= 0 && !job->m_finished.load() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_FALSE(
            fs::is_empty(dir.path() / "out")); // the output is being written (under its temporary name)
        if (moved) {
            fs::rename(dir.path() / "out", dir.path() / "moved");
        } else {
            fs::remove_all(dir.path() / "out");
        }
        EXPECT_TRUE(FeedPipe(fd, bytes.data() + half, bytes.size() - half));
        close(fd);
        worker.join();

        EXPECT_EQ(outcome.statuses, (std::vector<int>{F, F, F}));
        EXPECT_EQ(outcome.exitCode, -1);
        EXPECT_EQ(job->m_entryReasons,
                  (std::vector<std::string>{
                      "the output folder was moved or removed while the file was written, "
                      "and its partial file was removed",
                      "the output folder no longer exists", "the output folder no longer exists"}));
        EXPECT_FALSE(fs::exists(dir.path() / "out")); // nothing re-created the folder
        if (moved) {
            EXPECT_TRUE(fs::is_empty(dir.path() / "moved"));
        }
        EXPECT_EQ(ReadFileBytes(clip), clipBefore);
    }
}

// The change happens on the worker thread after the input was opened and its first part read, so the
// rest of the copy reads a changed file.
TEST(EngineFaults, AnInputChangedWhileReadIsAFailure) {
    struct Case {
        const char* what;
        std::function<void(const std::string& input, const std::string& scratch)> change;
    };
    const Case cases[] = {
        {"truncated to a third",
         [](const std::string& input, const std::string&) {
             ASSERT_EQ(truncate(input.c_str(), static_cast<off_t>(fs::file_size(input) / 3)), 0);
         }},
        {"replaced by another file",
         [](const std::string& input, const std::string& scratch) {
             fs::copy_file(MarkerClip("mp4"), scratch);
             fs::rename(scratch, input);
         }},
        {"grown by a writer",
         [](const std::string& input, const std::string&) {
             std::ofstream(input, std::ios::binary | std::ios::app) << std::string(4096, '\0');
         }},
    };
    const std::string original = ReadFileBytes(LongTs());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempDir dir;
        const std::string input = dir.file("input.ts");
        WriteFileBytes(input, original);
        auto job = MakeBatchJob({input}, {dir.file("out.mp4")}, 90, 20.0);
        std::string afterChange;
        BatchOutcome outcome;
        {
            AtFirstOutputDescription hook([&] {
                c.change(input, dir.file("scratch.mp4"));
                afterChange = ReadFileBytes(input);
            });
            outcome = RunBatch(*job);
            ASSERT_TRUE(hook.fired());
        }
        EXPECT_EQ(outcome.statuses, std::vector<int>{F});
        EXPECT_EQ(ReadFileBytes(input), afterChange); // the worker only read it
    }
}

TEST(EngineFaults, UnreadableInputsFailWithoutOutput) {
    ScopedTempDir dir;
    const auto [clip, locked, folder] = MakeUnreadableInputs(dir);

    // A copy the unprivileged user can read, in the folder it can write.
    const std::string readable = dir.file("readable.mp4");
    fs::copy_file(clip, readable);
    fs::permissions(readable, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    for (const std::string& input : {locked, folder}) {
        SCOPED_TRACE(input);
        const std::string output = dir.file("out-" + fs::path(input).filename().string());
        const std::string next = dir.file("next-" + fs::path(input).filename().string());
        // Exit code: probe refused (1 bit), then the batch statuses of [input, readable] (2 bits): the
        // unreadable input fails alone and the batch goes on.
        const int result = RunAsNobody([&] {
            const bool refused = !ProbeMedia(input).Accepted();
            auto job = MakeBatchJob({input, readable}, {output, next}, 90);
            const BatchOutcome outcome = RunBatch(*job);
            const bool statusesOk = outcome.statuses == std::vector<int>{F, C} && outcome.exitCode == 0;
            const bool reasonOk = !job->m_entryReasons[0].empty() && job->m_entryReasons[1].empty();
            return (refused ? 1 : 0) | (statusesOk ? 2 : 0) | (reasonOk ? 4 : 0);
        });
        EXPECT_EQ(result, 7);
        EXPECT_FALSE(fs::exists(output));
        EXPECT_TRUE(fs::exists(next));
    }
    fs::permissions(locked, fs::perms::owner_read);
    EXPECT_EQ(ReadFileBytes(locked), ReadFileBytes(clip));
}

TEST(EngineFaults, AwkwardFileNamesAreProbedAndConvertedByteForByte) {
    ScopedTempDir dir;
    fs::create_directories(dir.path() / "in");
    fs::create_directories(dir.path() / "out");
    const std::string clip = MarkerClip("mp4");
    const std::string clipBytes = ReadFileBytes(clip);
    std::vector<std::string> inputs, outputs;
    for (const std::string& name : AwkwardFileNames()) {
        inputs.push_back((dir.path() / "in" / name).string());
        outputs.push_back((dir.path() / "out" / name).string());
        fs::copy_file(clip, inputs.back());
        const MediaFacts facts = ProbeMedia(inputs.back());
        EXPECT_TRUE(facts.Accepted()) << name;
        EXPECT_EQ(facts.width, 160) << name;
    }
    auto job = MakeBatchJob(inputs, outputs, 90);
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, std::vector<int>(inputs.size(), C));

    // Exactly the expected names, and nothing else, in both folders.
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(dir.path() / "out")) {
        written.push_back(entry.path().filename().string());
    }
    std::sort(written.begin(), written.end());
    std::vector<std::string> expected = AwkwardFileNames();
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(written, expected);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(AwkwardFileNames()[i]);
        EXPECT_EQ(ReadFileBytes(inputs[i]), clipBytes);
        std::string rotation;
        RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream_side_data=rotation -of "
                   "default=nw=1:nk=1 " +
                       ShellQuote("file:" + outputs[i]),
                   &rotation);
        EXPECT_EQ(rotation, "-90\n");
    }
}

} // namespace
} // namespace quarnix::test

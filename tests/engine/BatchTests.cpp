#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaFacts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quarnix::test {
namespace {

constexpr int P = kFileStatusPending;
constexpr int C = kFileStatusConverted;
constexpr int F = kFileStatusFailed;

TEST(Batch, NewJobShowsNoCurrentEntry) {
    CConvertJob job;
    EXPECT_EQ(job.m_currentFile.load(), -1);
    EXPECT_EQ(job.m_filePercent.load(), 0);
    EXPECT_EQ(job.m_cancel.load(), 0);
    EXPECT_EQ(job.m_rotation, 0);
    EXPECT_EQ(CConvertJob::AllocatePathList(3).size(), 3u);
}

// No file but the finished outputs is left in the folder: no hidden temporary file, no partial output.
std::vector<std::string> FolderNames(const ScopedTempDir& dir) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Each failure fails its entry only, says why in plain words, and the batch goes on to its end.
TEST(Batch, AFailedEntryFailsOnlyItselfWithAReasonAndTheBatchEnds) {
    struct Case {
        const char* name;
        std::vector<std::string> inputs;  // "clip" = a good clip, "missing" = a file that does not exist
        std::vector<std::string> outputs; // names in the output folder
        std::vector<int> statuses;
        std::vector<std::string> reasons;
    };
    const std::string longName = std::string(300, 'n') + ".mp4";
    const Case cases[] = {
        {"missing second",
         {"clip", "missing", "clip"},
         {"a.mp4", "b.mp4", "c.mp4"},
         {C, F, C},
         {"", "the input no longer exists", ""}},
        {"missing last", {"clip", "missing"}, {"a.mp4", "b.mp4"}, {C, F}, {"", "the input no longer exists"}},
        {"missing alone", {"missing"}, {"a.mp4"}, {F}, {"the input no longer exists"}},
        {"name too long", {"clip", "clip"}, {longName, "b.mp4"}, {F, C}, {"the output name is too long", ""}},
        {"unknown container",
         {"clip", "clip"},
         {"a.nocontainer", "b.mp4"},
         {F, C},
         {"no container can be written for this output name", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTempDir dir;
        std::vector<std::string> inputs, outputs;
        for (const std::string& input : c.inputs) {
            inputs.push_back(input == "clip" ? MarkerClip("mp4") : dir.file("gone.mp4"));
        }
        for (const std::string& output : c.outputs) {
            outputs.push_back(dir.file(output));
        }
        auto job = MakeBatchJob(inputs, outputs, 90);
        const BatchOutcome outcome = RunBatch(*job);
        EXPECT_EQ(outcome.statuses, c.statuses);
        EXPECT_EQ(outcome.currentFile, static_cast<int>(inputs.size()));
        EXPECT_TRUE(job->m_finished.load());
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(job->m_entryReasons, c.reasons);
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            if (c.statuses[i] == C) {
                expected.push_back(c.outputs[i]);
            }
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(FolderNames(dir), expected);
    }
}

TEST(Batch, AVanishedOutputFolderFailsTheRestAndEndsTheBatch) {
    ScopedTempDir dir;
    const std::string folder = dir.file("out");
    std::filesystem::create_directory(folder);
    const std::string clip = MarkerClip("mp4");
    auto job =
        MakeBatchJob({clip, clip, clip}, {folder + "/a.mp4", folder + "/b.mp4", folder + "/c.mp4"}, 90);
    std::filesystem::remove(folder);
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, (std::vector<int>{F, F, F}));
    EXPECT_EQ(outcome.exitCode, -1);
    EXPECT_EQ(outcome.currentFile, 3);
    EXPECT_EQ(job->m_entryReasons, std::vector<std::string>(3, "the output folder no longer exists"));
}

// A name taken after it was chosen is never replaced: the output moves to the next free numbered name.
TEST(Batch, NeverReplacesAFileThatAppearedAtTheOutputPath) {
    ScopedTempDir dir;
    const std::string clip = MarkerClip("mp4");
    std::ofstream(dir.file("theirs.mp4")) << "precious";
    std::filesystem::create_symlink("/dev/full", dir.file("link.mp4"));
    auto job = MakeBatchJob({clip, clip, clip},
                            {dir.file("theirs.mp4"), dir.file("link.mp4"), dir.file("new.mp4")}, 90);
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, (std::vector<int>{C, C, C}));
    EXPECT_EQ(job->m_outputPaths, (std::vector<std::string>{dir.file("theirs(0).mp4"),
                                                            dir.file("link(0).mp4"), dir.file("new.mp4")}));
    EXPECT_EQ(ReadFileBytes(dir.file("theirs.mp4")), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.mp4")));
    EXPECT_EQ(std::filesystem::read_symlink(dir.file("link.mp4")), "/dev/full");
    EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"link(0).mp4", "link.mp4", "new.mp4",
                                                          "theirs(0).mp4", "theirs.mp4"}));
}

TEST(Batch, CancelBeforeTheFirstEntryTouchesNothing) {
    ScopedTempDir dir;
    auto job = MakeBatchJob({MarkerClip("mp4")}, {dir.file("a.mp4")}, 90);
    job->m_cancel = 1;
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, std::vector<int>{P});
    EXPECT_EQ(outcome.currentFile, 1);
    EXPECT_TRUE(job->m_finished.load());
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(FolderNames(dir).empty());
}

// The first input is a pipe that the test feeds, so the worker is surely inside the first file when
// the cancel arrives. Stop means stop now: the partial output is removed and every entry stays pending.
TEST(Batch, CancelDuringAnEntryLeavesNoFileAndEveryEntryPending) {
    ScopedTempDir dir;
    const std::string source = LongTs();
    const std::string bytes = ReadFileBytes(source);
    ASSERT_GT(bytes.size(), 10000u);
    const std::string pipe = dir.file("feed.ts");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::signal(SIGPIPE, SIG_IGN);

    const std::string clip = MarkerClip("mp4");
    auto job =
        MakeBatchJob({pipe, clip, clip}, {dir.file("a.mp4"), dir.file("b.mp4"), dir.file("c.mp4")}, 90, 20.0);
    BatchOutcome outcome;
    std::thread worker([&] { outcome = RunBatch(*job); });

    const int fd = open(pipe.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::size_t half = bytes.size() / 2;
    for (std::size_t written = 0; written < half;) {
        const ssize_t n = write(fd, bytes.data() + written, half - written);
        ASSERT_GT(n, 0);
        written += static_cast<std::size_t>(n);
    }
    ASSERT_TRUE(WaitFor([&] { return job->m_filePercent.load() > 0 || job->m_finished.load(); }));
    job->m_cancel = 1;
    // More data, not an end of file, wakes a worker that waits in a read: it must stop on the cancel.
    const ssize_t rest = write(fd, bytes.data() + half, bytes.size() - half);
    (void)rest; // the worker may already have closed its end
    close(fd);
    worker.join();

    EXPECT_EQ(outcome.statuses, (std::vector<int>{P, P, P}));
    EXPECT_EQ(outcome.currentFile, 3);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(FolderNames(dir), std::vector<std::string>{"feed.ts"});
}

// A full disk: the file-size limit makes every write past it fail, as a full volume does.
TEST(Batch, AWriteFailureIsAFailureAndLeavesNoBrokenFile) {
    ScopedTempDir dir;
    const std::string clip = LongTs();
    const auto size = std::filesystem::file_size(clip);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(size / 3);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    auto job = MakeBatchJob({clip, MarkerClip("mp4")}, {dir.file("big.mp4"), dir.file("small.mp4")}, 90);
    const BatchOutcome outcome = RunBatch(*job);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);

    EXPECT_EQ(outcome.statuses, (std::vector<int>{F, C}));
    EXPECT_EQ(outcome.currentFile, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("big.mp4")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("small.mp4")));
}

// Marked in place (MP4) and through the stream copy (MPEG-TS, written as MOV): both count to the end.
TEST(Batch, PercentReachesTheEndOfEachFile) {
    for (const std::string extension : {"mp4", "ts"}) {
        ScopedTempDir dir;
        auto job = MakeBatchJob({MarkerClip(extension)}, {dir.file("a." + extension)}, 90, 2.0);
        ASSERT_EQ(RunBatch(*job).statuses, std::vector<int>{C}) << extension;
        EXPECT_GE(job->m_filePercent.load(), 90) << extension;
        EXPECT_LE(job->m_filePercent.load(), 100) << extension;
    }
}

TEST(Batch, InputsAreNeverModified) {
    ScopedTempDir dir;
    const std::string clip = MarkerClip("mov");
    const std::string before = ReadFileBytes(clip);
    auto job = MakeBatchJob({clip, clip}, {dir.file("a.mov"), dir.file("b.mov")}, 270);
    EXPECT_EQ(RunBatch(*job).statuses, (std::vector<int>{C, C}));
    EXPECT_EQ(ReadFileBytes(clip), before);
}

} // namespace
} // namespace quarnix::test

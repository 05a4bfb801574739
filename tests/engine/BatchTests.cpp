#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaFacts.h"

#include <gtest/gtest.h>

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

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST(Batch, NewJobShowsNoCurrentEntry) {
    CConvertJob job;
    EXPECT_EQ(job.m_currentFile.load(), -1);
    EXPECT_EQ(job.m_filePercent.load(), 0);
    EXPECT_EQ(job.m_cancel.load(), 0);
    EXPECT_EQ(job.m_rotation, 0);
    EXPECT_EQ(CConvertJob::AllocatePathList(3).size(), 3u);
}

TEST(Batch, AnInputThatDoesNotOpenEndsTheBatchThere) {
    ScopedTempDir dir;
    const std::string clip = MarkerClip("mp4");
    auto job = MakeBatchJob({clip, dir.file("missing.mp4"), clip},
                            {dir.file("a.mp4"), dir.file("b.mp4"), dir.file("c.mp4")}, 90);
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, (std::vector<int>{C, F, P}));
    EXPECT_EQ(outcome.currentFile, 1);
    EXPECT_EQ(outcome.exitCode, -1);
    EXPECT_TRUE(std::filesystem::exists(dir.file("a.mp4")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.mp4")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("c.mp4")));
}

TEST(Batch, AnOutputNameWithoutContainerFailsOnlyThatEntry) {
    ScopedTempDir dir;
    const std::string clip = MarkerClip("mp4");
    auto job = MakeBatchJob({clip, clip, clip},
                            {dir.file("a.mp4"), dir.file("b.nocontainer"), dir.file("c.mp4")}, 180);
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, (std::vector<int>{C, F, C}));
    EXPECT_EQ(outcome.currentFile, 3);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.nocontainer")));
}

TEST(Batch, NeverReplacesAFileThatAppearedAtTheOutputPath) {
    ScopedTempDir dir;
    const std::string clip = MarkerClip("mp4");
    std::ofstream(dir.file("theirs.mp4")) << "precious";
    std::filesystem::create_symlink("/dev/full", dir.file("link.mp4"));
    auto job = MakeBatchJob({clip, clip, clip},
                            {dir.file("theirs.mp4"), dir.file("link.mp4"), dir.file("new.mp4")}, 90);
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, (std::vector<int>{F, F, C}));
    EXPECT_EQ(ReadAll(dir.file("theirs.mp4")), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.mp4")));
    EXPECT_EQ(std::filesystem::read_symlink(dir.file("link.mp4")), "/dev/full");
}

TEST(Batch, CancelBeforeTheFirstEntryTouchesNothing) {
    ScopedTempDir dir;
    auto job = MakeBatchJob({MarkerClip("mp4")}, {dir.file("a.mp4")}, 90);
    job->m_cancel = 1;
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, std::vector<int>{P});
    EXPECT_EQ(outcome.currentFile, 0);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.mp4")));
}

// The first input is a pipe that the test feeds, so the worker is surely inside the first file when
// the cancel arrives.
TEST(Batch, CancelDuringTheFirstEntryKeepsAPlayablePartialOutput) {
    ScopedTempDir dir;
    const std::string source = LongTs();
    const std::string bytes = ReadAll(source);
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
    while (job->m_filePercent.load() <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    job->m_cancel = 1;
    // More data, not an end of file, wakes a worker that waits in a read: it must stop on the cancel.
    const ssize_t rest = write(fd, bytes.data() + half, bytes.size() - half);
    (void)rest; // the worker may already have closed its end
    close(fd);
    worker.join();

    EXPECT_EQ(outcome.statuses, (std::vector<int>{P, P, P}));
    EXPECT_EQ(outcome.currentFile, 1);
    EXPECT_EQ(outcome.exitCode, 0);
    const FileFacts partial = ReadMediaFacts(dir.file("a.mp4"));
    ASSERT_TRUE(partial.opened);
    const int copied = partial.OfKind("video")[0].packets;
    EXPECT_GT(copied, 0);
    EXPECT_LT(copied, ReadMediaFacts(source).OfKind("video")[0].packets);
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.mp4")));
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

TEST(Batch, PercentReachesTheEndOfEachFile) {
    ScopedTempDir dir;
    auto job = MakeBatchJob({MarkerClip("mp4")}, {dir.file("a.mp4")}, 90, 2.0);
    RunBatch(*job);
    EXPECT_GE(job->m_filePercent.load(), 90);
    EXPECT_LE(job->m_filePercent.load(), 100);
    EXPECT_EQ(job->m_videoTimeBase.den > 0 && job->m_audioTimeBase.den > 0, true);
}

TEST(Batch, InputsAreNeverModified) {
    ScopedTempDir dir;
    const std::string clip = MarkerClip("mov");
    const std::string before = ReadAll(clip);
    auto job = MakeBatchJob({clip, clip}, {dir.file("a.mov"), dir.file("b.mov")}, 270);
    EXPECT_EQ(RunBatch(*job).statuses, (std::vector<int>{C, C}));
    EXPECT_EQ(ReadAll(clip), before);
}

} // namespace
} // namespace quarnix::test

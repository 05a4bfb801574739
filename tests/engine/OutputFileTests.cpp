// The output file's life: written only through the descriptor of its exclusive create, flushed and moved
// to its name through the folder's descriptor without replacing anything, removed only while it is still
// ours; part files of killed runs removed by the next batch, never one that a writer holds or anything else.
#include "EngineFixtures.h"
#include "Fixtures.h"
#include "engine/Batch.h"
#include "engine/batch/FailureReason.h"
#include "engine/io/OutputFile.h"
#include "engine/io/OutputIo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

namespace quarnix {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ScopedTempDir;

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> NamesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CreatedOutput, WritesThroughItsDescriptorAndCommitsWithTheInputsDateAndMode) {
    ScopedTempDir dir;
    const std::string input = dir.file("in.bin");
    WriteText(input, "input");
    ASSERT_EQ(::chmod(input.c_str(), 0640), 0);
    const timespec date[2] = {{0, UTIME_OMIT}, {1500000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, input.c_str(), date, 0), 0);
    WriteText(dir.file("out.bin"), "someone else's"); // the name is taken: the output is numbered

    CreatedOutput output;
    bool folderGone = true;
    ASSERT_EQ(output.Create(dir.file("out.bin"), folderGone), 0);
    EXPECT_FALSE(folderGone);
    EXPECT_TRUE(IsPartFileName(fs::path(output.tempPath()).filename().string()));
    AVIOContext* pb = nullptr;
    OutputIo io;
    ASSERT_EQ(io.Open(output.fd(), &pb), 0);
    const std::string text(3000000, 'x'); // more than one buffer
    avio_write(pb, reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    avio_seek(pb, 0, SEEK_SET); // as the MP4 muxer does to complete the size of its media data
    avio_write(pb, reinterpret_cast<const unsigned char*>("head"), 4);
    EXPECT_EQ(io.Close(), 0);
    output.KeepDateAndMode(IdentifyFile(input));
    const CommitResult commit = output.Commit(dir.file("out.bin"));
    ASSERT_EQ(commit.error, 0);
    EXPECT_EQ(commit.committedPath, dir.file("out(0).bin"));
    EXPECT_EQ(ReadFileBytes(dir.file("out(0).bin")), "head" + text.substr(4));
    EXPECT_EQ(ReadFileBytes(dir.file("out.bin")), "someone else's");
    struct stat info {};
    ASSERT_EQ(::stat(commit.committedPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(info.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"in.bin", "out(0).bin", "out.bin"}));
}

TEST(CreatedOutput, AMissingFolderIsGone) {
    ScopedTempDir dir;
    CreatedOutput output;
    bool folderGone = false;
    EXPECT_LT(output.Create(dir.file("no/such/folder/out.mp4"), folderGone), 0);
    EXPECT_TRUE(folderGone);
    EXPECT_FALSE(output.created());
}

// The file under the temporary name replaced by a symlink to another file: the commit refuses it, and the
// removal leaves the symlink and its target alone.
TEST(CreatedOutput, NeverCommitsOrRemovesAFileThatIsNotItsOwn) {
    ScopedTempDir dir;
    const std::string victim = dir.file("victim.txt");
    WriteText(victim, "precious");
    CreatedOutput output;
    bool folderGone = false;
    ASSERT_EQ(output.Create(dir.file("out.mp4"), folderGone), 0);
    const std::string temp = output.tempPath();
    ASSERT_EQ(::unlink(temp.c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), temp.c_str()), 0);
    EXPECT_FALSE(output.StillOurs());
    const CommitResult commit = output.Commit(dir.file("out.mp4"));
    EXPECT_EQ(commit.failedStep, CommitStep::kNotOurs);
    output.Remove();
    EXPECT_TRUE(fs::is_symlink(temp));
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_FALSE(fs::exists(dir.file("out.mp4")));
}

// The folder moved away while the file was written: no commit into the moved folder, and the part file is
// removed from it through the folder's descriptor.
TEST(CreatedOutput, AFolderMovedAwayKeepsNoPartFile) {
    ScopedTempDir dir;
    fs::create_directory(dir.path() / "out");
    CreatedOutput output;
    bool folderGone = false;
    ASSERT_EQ(output.Create(dir.file("out/clip.mp4"), folderGone), 0);
    ASSERT_EQ(::write(output.fd(), "data", 4), 4);
    fs::rename(dir.path() / "out", dir.path() / "moved");
    EXPECT_TRUE(output.FolderMoved());
    EXPECT_EQ(output.Commit(dir.file("out/clip.mp4")).failedStep, CommitStep::kFolderMoved);
    output.Remove();
    EXPECT_TRUE(NamesIn(dir.path() / "moved").empty());
}

TEST(PlaceholderRename, TakesOnlyAFreeNameAndNeverReplaces) {
    ScopedTempDir dir;
    WriteText(dir.file("part"), "new");
    WriteText(dir.file("taken.mp4"), "old");
    const FileDescriptor folder(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY));
    CommitWay way = CommitWay::kRenamed;
    EXPECT_EQ(PlaceholderRename(folder.get(), "part", "taken.mp4", way), AVERROR(EEXIST));
    EXPECT_EQ(ReadFileBytes(dir.file("taken.mp4")), "old");
    EXPECT_EQ(PlaceholderRename(folder.get(), "part", "free.mp4", way), 0);
    EXPECT_EQ(way, CommitWay::kPlaceholder);
    EXPECT_EQ(ReadFileBytes(dir.file("free.mp4")), "new");
    EXPECT_FALSE(fs::exists(dir.file("part")));
}

TEST(RemoveStalePartFiles, RemovesOnlyUnheldPartFiles) {
    ScopedTempDir dir;
    const std::string victim = dir.file("victim.mp4");
    WriteText(victim, "precious");
    WriteText(dir.file(".clip.mp4.part-Ab12Cd"), "stale");   // a killed run's
    WriteText(dir.file(".Ω name.mkv.part-zzzzzz"), "stale"); // a killed run's
    WriteText(dir.file(".clip.mp4.part-12"), "not ours");    // not a name the writer makes
    WriteText(dir.file("clip.mp4.part-Ab12Cd"), "not hidden");
    WriteText(dir.file(".clip.mp4"), "hidden, no part");
    fs::create_directory(dir.path() / ".dir.mp4.part-AAAAAA");
    fs::create_symlink(victim, dir.path() / ".link.mp4.part-BBBBBB");
    CreatedOutput held; // a writer of a running batch (its lock is held)
    bool folderGone = false;
    ASSERT_EQ(held.Create(dir.file("held.mp4"), folderGone), 0);
    const std::string heldName = fs::path(held.tempPath()).filename().string();

    EXPECT_EQ(RemoveStalePartFiles(dir.path().string()), 2);
    std::vector<std::string> expected = {".clip.mp4",
                                         ".clip.mp4.part-12",
                                         ".dir.mp4.part-AAAAAA",
                                         ".link.mp4.part-BBBBBB",
                                         heldName,
                                         "clip.mp4.part-Ab12Cd",
                                         "victim.mp4"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesIn(dir.path()), expected);
    EXPECT_EQ(ReadFileBytes(victim), "precious");
}

// Another program swaps each new part file for a symlink to an unrelated file as soon as it appears, on
// the in-place path (MP4) and the remux path (MPEG-TS written as MOV). The unrelated file keeps its bytes,
// and an entry is either failed or converted into a regular file of its own.
TEST(OutputSwapRace, ASymlinkPutInPlaceOfThePartFileNeverGetsWritten) {
    for (const std::string& clip : {test::MarkerClip("mp4"), test::TsWithLateAudio()}) {
        ScopedTempDir dir;
        const std::string victim = dir.file("victim.bin");
        const std::string victimBytes(200000, 'v');
        WriteText(victim, victimBytes);
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, dir.path().c_str(), IN_CREATE), 0);
        std::atomic<bool> stop{false};
        std::atomic<int> swapped{0};
        std::thread swapper([&] {
            alignas(inotify_event) char buffer[4096];
            while (!stop.load()) {
                pollfd waiting{watch, POLLIN, 0};
                if (::poll(&waiting, 1, 20) <= 0) {
                    continue;
                }
                const ssize_t got = ::read(watch, buffer, sizeof buffer);
                for (ssize_t at = 0; at > -1 && at < got;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                    const std::string name = event->len > 0 ? event->name : "";
                    if (IsPartFileName(name)) {
                        const std::string link = dir.file(name + ".swap");
                        if (::symlink(victim.c_str(), link.c_str()) == 0 &&
                            ::rename(link.c_str(), dir.file(name).c_str()) == 0) {
                            swapped.fetch_add(1);
                        }
                    }
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
            }
        });
        std::vector<std::string> inputs, outputs;
        for (int i = 0; i < 6; ++i) {
            inputs.push_back(clip);
            outputs.push_back(dir.file("out" + std::to_string(i) + fs::path(clip).extension().string()));
        }
        auto job = test::MakeBatchJob(inputs, outputs, 90);
        const test::BatchOutcome outcome = test::RunBatch(*job);
        stop.store(true);
        swapper.join();
        ::close(watch);
        EXPECT_GT(swapped.load(), 0) << clip;
        EXPECT_EQ(ReadFileBytes(victim), victimBytes) << clip;
        for (std::size_t i = 0; i < outcome.statuses.size(); ++i) {
            ASSERT_NE(outcome.statuses[i], kFileStatusPending) << clip;
            if (outcome.statuses[i] == kFileStatusConverted) {
                const std::string& path = job->m_outputPaths[i];
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << path;
            }
        }
    }
}

// Outputs of both paths get the input's modification time to the nanosecond and its permissions; an input
// whose end is missing is converted with what it has, and the note says so and names a stream left out.
TEST(BatchOutputs, KeepTheInputsDateAndSayWhatTheyLack) {
    ScopedTempDir dir;
    const std::string faststart = test::MediaFixture(
        "faststart4s.mp4", test::kMarkerVideo + test::kTone + test::kH264 + "-t 4 -movflags +faststart");
    std::string cut = ReadFileBytes(faststart);
    cut.resize(cut.size() * 6 / 10);
    const std::vector<std::string> sources = {test::MarkerClip("mp4"), test::TsWithLateAudio()};
    std::vector<std::string> inputs, outputs;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        inputs.push_back(dir.file("in" + std::to_string(i) + fs::path(sources[i]).extension().string()));
        fs::copy_file(sources[i], inputs.back());
    }
    inputs.push_back(dir.file("cut.mp4"));
    WriteText(inputs.back(), cut);
    // The same with its audio track damaged (handler and sample entry unknown): the demuxer sees a data
    // stream that no muxer takes.
    for (const char* type : {"soun", "mp4a"}) {
        const std::size_t at = cut.find(type);
        ASSERT_NE(at, std::string::npos);
        cut.replace(at, 4, "zzzz");
    }
    inputs.push_back(dir.file("cut-damaged-audio.mp4"));
    WriteText(inputs.back(), cut);
    const timespec date[2] = {{0, UTIME_OMIT}, {1234567890, 987654321}};
    for (const std::string& input : inputs) {
        ASSERT_EQ(::chmod(input.c_str(), 0604), 0);
        ASSERT_EQ(::utimensat(AT_FDCWD, input.c_str(), date, 0), 0);
        outputs.push_back(dir.file("out-" + fs::path(input).filename().string()));
    }
    auto job = test::MakeBatchJob(inputs, outputs, 90);
    const test::BatchOutcome outcome = test::RunBatch(*job);
    ASSERT_EQ(outcome.statuses, std::vector<int>(4, kFileStatusConverted));
    for (const std::string& output : job->m_outputPaths) {
        struct stat info {};
        ASSERT_EQ(::stat(output.c_str(), &info), 0) << output;
        EXPECT_EQ(info.st_mtim.tv_sec, 1234567890) << output;
        EXPECT_EQ(info.st_mtim.tv_nsec, 987654321) << output;
        EXPECT_EQ(info.st_mode & 0777, 0604u) << output;
    }
    EXPECT_EQ(job->m_entryReasons[0], "");
    EXPECT_EQ(job->m_entryReasons[2], CutShortNote());
    EXPECT_EQ(job->m_entryReasons[3],
              "data stream 1 left out: it is damaged or of an unknown kind; " + CutShortNote());
    std::string streams; // streams.stream.0.codec_type="video", one line per stream
    test::RunCommand("ffprobe -v error -show_entries stream=codec_type -of flat " +
                         test::ShellQuote(job->m_outputPaths[3]),
                     &streams);
    EXPECT_EQ(streams, "streams.stream.0.codec_type=\"video\"\n");
    std::string duration;
    test::RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                         test::ShellQuote(job->m_outputPaths[2]),
                     &duration);
    EXPECT_GT(std::stod(duration), 0.5) << duration;
    EXPECT_LT(std::stod(duration), 3.9) << duration;
}

// A batch removes the part files that killed runs left in its output folder, and keeps the one that a
// running writer holds.
TEST(BatchOutputs, ABatchRemovesStalePartFilesButNotOneBeingWritten) {
    ScopedTempDir dir;
    WriteText(dir.file(".old.mp4.part-Zz9Yy8"), std::string(100000, 's'));
    CreatedOutput held;
    bool folderGone = false;
    ASSERT_EQ(held.Create(dir.file("running.mp4"), folderGone), 0);
    auto job = test::MakeBatchJob({test::MarkerClip("mp4")}, {dir.file("clip.mp4")}, 90);
    ASSERT_EQ(test::RunBatch(*job).statuses, std::vector<int>{kFileStatusConverted});
    EXPECT_EQ(NamesIn(dir.path()),
              (std::vector<std::string>{fs::path(held.tempPath()).filename().string(), "clip.mp4"}));
}

} // namespace
} // namespace quarnix

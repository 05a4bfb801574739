#include "Fixtures.h"
#include "platform/FileSystem.h"
#include "platform/OutputNaming.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <filesystem>
#include <fstream>

namespace quarnix::test {
namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

void Touch(const std::string& path) {
    std::ofstream(path) << "x";
}

TEST(OutputNaming, KeepsNameAndExtensionAndNumbersWhatIsTaken) {
    ScopedTempDir dir;
    const QString out = Q(dir.path().string());
    EXPECT_EQ(MakeOutputPath(out, "/in/clip.mp4"), out + "/clip.mp4");
    EXPECT_EQ(MakeOutputPath(out + "/", "/in/clip.avi"), out + "/clip.avi");

    Touch(dir.file("clip.mp4"));
    Touch(dir.file("clip(0).mp4"));
    EXPECT_EQ(MakeOutputPath(out, "/in/clip.mp4"), out + "/clip(1).mp4");
    // Outputs made earlier in the same batch count as taken.
    EXPECT_EQ(MakeOutputPath(out, "/other/clip.mp4", {out + "/clip(1).mp4"}), out + "/clip(2).mp4");
    // A dangling link is taken too: the worker could not create the file there.
    std::filesystem::create_symlink(dir.file("nowhere"), dir.file("link.mov"));
    EXPECT_EQ(MakeOutputPath(out, "/in/link.mov"), out + "/link(0).mov");
}

TEST(OutputNaming, IntoTheInputsOwnFolderNeverNamesTheInput) {
    ScopedTempDir dir;
    std::filesystem::create_directory(dir.path() / "my.videos");
    const std::string input = (dir.path() / "my.videos" / "a.b.mkv").string();
    Touch(input);
    const QString folder = Q((dir.path() / "my.videos").string());
    EXPECT_EQ(MakeOutputPath(folder, Q(input)), folder + "/a.b(0).mkv");
}

TEST(OutputNaming, FileNameOf) {
    EXPECT_EQ(FileNameOf("/a/b/clip.mp4"), "clip.mp4");
    EXPECT_EQ(FileNameOf("clip.mp4"), "clip.mp4");
    EXPECT_EQ(FileNameOf("/a/b/"), "");
}

TEST(WriteProbe, PassesInAWritableFolderAndLeavesNothing) {
    ScopedTempDir dir;
    EXPECT_TRUE(WriteProbeFile(Q(dir.path().string())));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(WriteProbe, NeverDeletesAFileItDidNotCreate) {
    ScopedTempDir dir;
    const std::string theirs = dir.file(kWriteProbeFileName);
    std::ofstream(theirs) << "their video";
    EXPECT_TRUE(WriteProbeFile(Q(dir.path().string())));
    std::ifstream in(theirs);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "their video");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WriteProbe, FailsWhereNothingCanBeCreated) {
    ScopedTempDir dir;
    EXPECT_FALSE(WriteProbeFile(Q(dir.file("missing"))));
    EXPECT_FALSE(WriteProbeFile("/proc")); // not writable, even for root
}

TEST(FileSystem, ExistenceSizesAndFreeSpace) {
    ScopedTempDir dir;
    std::ofstream(dir.file("a")) << "12345";
    std::ofstream(dir.file("b")) << "123";
    EXPECT_TRUE(PathExists(Q(dir.file("a"))));
    EXPECT_TRUE(PathExists(Q(dir.path().string())));
    EXPECT_FALSE(PathExists(Q(dir.file("c"))));
    EXPECT_FALSE(PathExists(""));
    EXPECT_EQ(TotalFileSize({Q(dir.file("a")), Q(dir.file("b")), Q(dir.file("missing"))}), 8);

    const QString folder = Q(dir.path().string());
    EXPECT_GT(FreeBytes(folder), 0);
    EXPECT_TRUE(HasRoomFor(folder, 1));
    EXPECT_FALSE(HasRoomFor(folder, std::int64_t{1} << 60));
    EXPECT_TRUE(RoomSuffices(100, 100)); // equal passes
    EXPECT_FALSE(RoomSuffices(99, 100));
    EXPECT_TRUE(RoomSuffices(-1, 100)); // unknown free space does not stop a batch
}

} // namespace
} // namespace quarnix::test

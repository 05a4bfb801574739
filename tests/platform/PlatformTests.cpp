#include "Fixtures.h"
#include "platform/BytePaths.h"
#include "platform/FileSystem.h"

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

TEST(FileSystem, ExistenceAndFreeSpace) {
    ScopedTempDir dir;
    std::ofstream(dir.file("a")) << "12345";
    EXPECT_TRUE(PathExists(Q(dir.file("a"))));
    EXPECT_TRUE(PathExists(Q(dir.path().string())));
    EXPECT_FALSE(PathExists(Q(dir.file("c"))));
    EXPECT_FALSE(PathExists(""));

    const std::string folder = dir.path().string();
    EXPECT_TRUE(HasRoomForBytes(folder, {dir.file("a"), dir.file("missing")}));
    // A sparse input larger than the volume's free space: nothing is written, its size alone counts.
    const std::uintmax_t available = std::filesystem::space(dir.path()).free;
    std::error_code error;
    std::filesystem::resize_file(dir.file("a"), available + (std::uintmax_t{1} << 30), error);
    if (!error) {
        EXPECT_FALSE(HasRoomForBytes(folder, {dir.file("a")}));
    }
    EXPECT_TRUE(RoomSuffices(100, 100)); // equal passes
    EXPECT_FALSE(RoomSuffices(99, 100));
    EXPECT_TRUE(RoomSuffices(-1, 100)); // unknown free space does not stop a batch
}

} // namespace
} // namespace quarnix::test

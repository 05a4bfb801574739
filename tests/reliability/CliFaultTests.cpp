// quarnix-cli under faults and with awkward names: every name a Linux file system allows goes in and comes
// out byte for byte, a full volume and unreadable inputs give clear lines and exit codes, and the byte
// naming rule is the one the window uses.
#include "EngineFixtures.h"
#include "FaultSupport.h"
#include "Fixtures.h"
#include "MediaFacts.h"
#include "platform/BytePaths.h"
#include "platform/OutputNaming.h"

#include <gtest/gtest.h>

#include "platform/FileSystem.h"

#include <QSet>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace quarnix::test {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs quarnix-cli through the shell with every argument quoted, so each reaches argv as exact bytes.
// The streams go to files in `scratch`, which must be writable by whoever runs the command. A run past the
// deadline ends with status 124 or 137.
std::string CliCommand(const std::vector<std::string>& arguments, const fs::path& scratch,
                       const std::string& program = QUARNIX_CLI_PATH) {
    std::string command = ShellQuote(program);
    for (const std::string& argument : arguments) {
        command += " " + ShellQuote(argument);
    }
    return WithDeadline(command + " >" + ShellQuote((scratch / "cli-stdout").string()) + " 2>" +
                        ShellQuote((scratch / "cli-stderr").string()));
}

CliRun CollectRun(int status, const fs::path& scratch) {
    CliRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFileBytes((scratch / "cli-stdout").string());
    run.err = ReadFileBytes((scratch / "cli-stderr").string());
    return run;
}

CliRun RunCli(const std::vector<std::string>& arguments) {
    ScopedTempDir scratch;
    return CollectRun(std::system(CliCommand(arguments, scratch.path()).c_str()), scratch.path());
}

std::string Line(const std::string& status, const std::string& input, const std::string& output) {
    return status + "\t" + input + "\t" + output + "\n";
}

TEST(CliFaults, AwkwardNamesGoInAndComeOutByteForByte) {
    ScopedTempDir dir;
    const fs::path in = dir.path() / "in \xff\nfolder";
    const fs::path out = dir.path() / "out \xe9\\ 'folder'";
    fs::create_directories(in);
    fs::create_directories(out);
    const std::string clip = MarkerClip("mp4");
    const std::string clipBytes = ReadFileBytes(clip);
    std::vector<std::string> arguments{"rotate", "--angle", "270", "--output", out.string(), "--"};
    std::string expectedOut;
    for (const std::string& name : AwkwardFileNames()) {
        const std::string input = (in / name).string();
        fs::copy_file(clip, input);
        arguments.push_back(input);
        expectedOut += Line("converted", input, (out / name).string());
    }

    const CliRun run = RunCli(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, expectedOut);
    for (const std::string& name : AwkwardFileNames()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadFileBytes((in / name).string()), clipBytes);
        const FileFacts facts = ReadMediaFacts("file:" + (out / name).string());
        ASSERT_TRUE(facts.opened);
        ASSERT_FALSE(facts.OfKind("video").empty());
        ASSERT_TRUE(facts.OfKind("video")[0].matrixAngle.has_value());
        // The matrix holds the counter-clockwise angle: 270 clockwise reads as 90.
        EXPECT_NEAR(*facts.OfKind("video")[0].matrixAngle, 90.0, 0.01);
    }

    // Probe prints the same bytes as its first column; "--" ends the options there too.
    std::vector<std::string> probeArguments{"probe", "--"};
    probeArguments.insert(probeArguments.end(), arguments.begin() + 6, arguments.end());
    const CliRun probe = RunCli(probeArguments);
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
    for (std::size_t start = 0, i = 6; i < arguments.size(); ++i) {
        const std::string& input = arguments[i];
        ASSERT_EQ(probe.out.compare(start, input.size() + 1, input + "\t"), 0) << input;
        start = probe.out.find("\t100\n", start) + 5;
    }
}

// A name that starts with a dash, given without "--" and relative to the working folder, is a file.
TEST(CliFaults, LeadingDashNamesAreFilesAndSecondRunsGetNumberedNames) {
    ScopedTempDir dir;
    fs::copy_file(MarkerClip("mkv"), dir.path() / "-dash.mkv");
    fs::create_directory(dir.path() / "out");
    const std::string command =
        "cd " + ShellQuote(dir.path().string()) + " && " +
        CliCommand({"rotate", "--angle", "90", "--output", "out", "-dash.mkv"}, dir.path());
    // Matroska that MP4 holds whole is written as MP4.
    for (const char* expected : {"out/-dash.mp4", "out/-dash(0).mp4"}) {
        const CliRun run = CollectRun(std::system(command.c_str()), dir.path());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, Line("converted", "-dash.mkv", expected));
    }
}

TEST(CliFaults, AFullVolumeIsReportedAndLeavesNoPartialOutput) {
    ScopedTempDir dir;
    const std::string big = LongTs();
    const std::string small = MarkerClip("mp4");
    const std::string bigBefore = ReadFileBytes(big);
    const long long room = (static_cast<long long>(bigBefore.size()) / 3 + 4095) / 4096 * 4096;

    // Known to be too small before the batch starts: a folder error, nothing written.
    {
        FullVolume volume(dir.path() / "vol", room);
        if (volume.mounted()) {
            const CliRun run = RunCli({"rotate", "--angle", "90", "--output", dir.file("vol"), big, small});
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_NE(run.err.find("not enough free space"), std::string::npos) << run.err;
            EXPECT_TRUE(run.out.empty());
            EXPECT_TRUE(fs::is_empty(dir.path() / "vol"));
        }
    }
    // Fills up while writing: that file failed and removed, the next one converted.
    fs::create_directories(dir.path() / "out");
    ScopedTempDir scratch;
    int status = -1;
    bool mounted = false;
    {
        FullVolume volume(dir.path() / "out", room, false);
        mounted = volume.mounted();
        status = std::system(
            CliCommand({"rotate", "--angle", "90", "--output", dir.file("out"), big, small}, scratch.path())
                .c_str());
    }
    const CliRun run = CollectRun(status, scratch.path());
    const std::string bigOut = dir.file("out/" + fs::path(big).filename().string());
    const std::string smallOut = dir.file("out/" + fs::path(small).filename().string());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, Line("failed", big, bigOut) + Line("converted", small, smallOut));
    // A full volume, or (without one to mount) the file-size limit standing in for it.
    const std::string reason =
        mounted ? "the disk is full" : "the output is larger than the file system allows";
    EXPECT_NE(run.err.find("quarnix-cli: " + big + ": " + reason + "\n"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(bigOut));
    EXPECT_EQ(ReadFileBytes(big), bigBefore);
}

TEST(CliFaults, UnreadableInputsAreRefusedByName) {
    ScopedTempDir dir;
    const auto [clip, locked, folder] = MakeUnreadableInputs(dir);
    fs::create_directory(dir.path() / "out");
    fs::permissions(dir.path() / "out", fs::perms::all);
    // "nobody" runs a copy of the program (linked to system libraries only), since the build tree may lie
    // in a folder only its owner may enter.
    ScopedTempDir programDir;
    const fs::path program = programDir.path() / "quarnix-cli";
    fs::copy_file(QUARNIX_CLI_PATH, program);
    fs::permissions(programDir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                           fs::perms::others_read | fs::perms::others_exec);

    const std::string command =
        CliCommand({"rotate", "--angle", "180", "--output", dir.file("out"), locked, folder, clip},
                   dir.path(), program.string());
    const int status = RunAsNobody([&] { return WEXITSTATUS(std::system(command.c_str())); });
    EXPECT_EQ(status, 1);
    const CliRun run = CollectRun(0, dir.path());
    EXPECT_EQ(run.err, "refused\t" + locked + "\nrefused\t" + folder + "\n");
    EXPECT_EQ(run.out, Line("converted", clip, dir.file("out/" + fs::path(clip).filename().string())));
    fs::permissions(locked, fs::perms::owner_read);
    EXPECT_EQ(ReadFileBytes(locked), ReadFileBytes(clip));
}

// The naming rule on bytes: existing names and names given earlier in the batch are skipped, the
// numbering splits at the last dot, and names that are not UTF-8 pass through unchanged.
TEST(CliFaults, ByteNamingNumbersTakenNamesAndKeepsTheBytes) {
    ScopedTempDir dir;
    const std::string folder = dir.path().string();
    for (const char* existing : {"a.mp4", "a(0).mp4", "x.y.mkv"}) {
        std::ofstream(dir.file(existing)) << "taken";
    }
    const std::pair<std::string, std::string> cases[] = {
        {"/in/a.mp4", "a(1).mp4"},
        {"/in/b.mp4", "b.mp4"},
        {"/other/a.mp4", "a(2).mp4"},
        {"/in/x.y.mkv", "x.y(0).mkv"},
        {"/in/\xc3\xa9 \xc3\xbc.mov", "\xc3\xa9 \xc3\xbc.mov"},
        {"/in/.hidden", ".hidden"},
        {"relative.avi", "relative.avi"},
        {"/in/\xff\xfe.mp4", "\xff\xfe.mp4"},
        {"/in.d/\xff\xfe.mp4", "\xff\xfe(0).mp4"},
    };
    for (const std::string& withSlash : {folder, folder + "/"}) {
        std::set<std::string> taken;
        for (const auto& [input, expected] : cases) {
            const std::string output = MakeOutputPathBytes(withSlash, input, taken);
            EXPECT_EQ(output, folder + "/" + expected) << input;
            taken.insert(output);
        }
    }
    EXPECT_EQ(FileNameOfBytes("/a/b\\c"), "b\\c");
    EXPECT_TRUE(WriteProbeFileBytes(folder));
    EXPECT_FALSE(WriteProbeFileBytes(dir.file("missing")));
    EXPECT_FALSE(fs::exists(dir.file(kWriteProbeFileName)));
}

} // namespace
} // namespace quarnix::test

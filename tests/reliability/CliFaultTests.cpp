// quarnix-cli under faults and with awkward names: every name a Linux file system allows goes in and comes
// out byte for byte, a full volume and unreadable inputs give clear lines and exit codes, and the byte
// naming rule is the one the window uses.
#include "EngineFixtures.h"
#include "FaultSupport.h"
#include "Fixtures.h"
#include "MediaFacts.h"
#include "engine/io/OutputName.h"
#include "platform/BytePaths.h"

#include <gtest/gtest.h>

#include "platform/FileSystem.h"

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
        start = probe.out.find("\t100\t0\n", start) + 7;
    }
}

// Hex of the bytes, to compare names that are not text.
std::string Hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += kDigits[static_cast<unsigned char>(c) >> 4];
        hex += kDigits[static_cast<unsigned char>(c) & 15];
    }
    return hex;
}

// --json: one object per line per file, refused ones included, each a valid JSON text that Python's own
// parser reads, and every name's exact bytes recoverable (from "input_base64" when it is not UTF-8).
TEST(CliFaults, JsonLinesKeepEveryFileAndEveryNameRecoverable) {
    ScopedTempDir dir;
    const fs::path out = dir.path() / "out";
    fs::create_directories(out);
    std::vector<std::string> rotate{"rotate", "--json", "--angle", "90", "--output", out.string(), "--"};
    std::set<std::string> expected;
    for (const std::string& name : AwkwardFileNames()) {
        const std::string input = dir.file(name);
        fs::copy_file(MarkerClip("mp4"), input);
        rotate.push_back(input);
        expected.insert(Hex(input) + " converted " + Hex((out / name).string()));
    }
    const std::string missing = dir.file("missing \xff.mp4");
    rotate.push_back(missing);
    expected.insert(Hex(missing) + " refused ");
    const std::string decoder = dir.file("decode.py");
    std::ofstream(decoder)
        << "import base64, json, sys\n"
           "def raw(o, k):\n"
           "    return base64.b64decode(o[k + '_base64']) if k + '_base64' in o else "
           "o.get(k, '').encode('utf-8')\n"
           "for line in open(sys.argv[1], 'rb').read().decode('utf-8').split('\\n')[:-1]:\n"
           "    o = json.loads(line)\n"
           "    print(raw(o, 'input').hex(), o['status'], raw(o, 'output').hex())\n";
    for (std::vector<std::string> arguments : {rotate, std::vector<std::string>{"probe", "--json", "--"}}) {
        if (arguments[0] == "probe") {
            arguments.insert(arguments.end(), rotate.begin() + 7, rotate.end());
            std::set<std::string> probed;
            for (const std::string& line : expected) {
                const std::string input = line.substr(0, line.find(' '));
                probed.insert(input +
                              (line.find(" refused ") != std::string::npos ? " refused " : " accepted "));
            }
            expected = probed;
        }
        ScopedTempDir scratch;
        const int status = std::system(CliCommand(arguments, scratch.path()).c_str());
        const CliRun run = CollectRun(status, scratch.path());
        EXPECT_EQ(run.exitCode, 1) << arguments[0];
        std::string decoded;
        ASSERT_EQ(RunCommand("python3 " + ShellQuote(decoder) + " " +
                                 ShellQuote((scratch.path() / "cli-stdout").string()),
                             &decoded),
                  0)
            << run.out;
        std::set<std::string> lines;
        for (std::size_t start = 0, end; (end = decoded.find('\n', start)) != std::string::npos;
             start = end + 1) {
            lines.insert(decoded.substr(start, end - start));
        }
        EXPECT_EQ(lines, expected) << run.out;
    }
}

// An exFAT disk through FUSE, mounted on a loop device for the test's lifetime.
class ExFatDisk {
public:
    explicit ExFatDisk(const fs::path& folder) : m_mount(folder / "disk") {
        const std::string image = (folder / "exfat.img").string();
        fs::create_directories(m_mount);
        std::string device;
        if (geteuid() != 0 ||
            RunCommand("truncate -s 32M " + ShellQuote(image) + " && mkfs.exfat " + ShellQuote(image) +
                       " >/dev/null") != 0 ||
            RunCommand("losetup -f --show " + ShellQuote(image), &device) != 0) {
            return;
        }
        m_device = device.substr(0, device.find('\n'));
        m_mounted = RunCommand("mount.exfat-fuse " + ShellQuote(m_device) + " " +
                               ShellQuote(m_mount.string()) + " >/dev/null 2>&1") == 0;
    }
    ~ExFatDisk() {
        if (m_mounted) {
            RunCommand("umount " + ShellQuote(m_mount.string()));
        }
        if (!m_device.empty()) {
            RunCommand("losetup -d " + ShellQuote(m_device));
        }
    }
    ExFatDisk(const ExFatDisk&) = delete;
    ExFatDisk& operator=(const ExFatDisk&) = delete;
    bool mounted() const { return m_mounted; }
    const fs::path& path() const { return m_mount; }

private:
    fs::path m_mount;
    std::string m_device;
    bool m_mounted = false;
};

// exFAT through FUSE can neither rename without replacing nor link: every output still gets its name,
// never replacing a file (a second run gets numbered names and the first outputs keep their bytes), the
// note says what a crash could leave, and a name the disk refuses says so.
TEST(CliFaults, AnExFatDiskGetsEveryOutputAndReplacesNothing) {
    ScopedTempDir dir;
    const ExFatDisk disk(dir.path());
    if (!disk.mounted()) {
        GTEST_SKIP() << "this machine cannot mount an exFAT image (needs root, loop devices and FUSE)";
    }
    const std::string clip = dir.file("clip.mp4");
    const std::string colon = dir.file("a:b.mp4");
    fs::copy_file(MarkerClip("mp4"), clip);
    fs::copy_file(MarkerClip("mp4"), colon);
    const std::string ts = TsWithLateAudio();
    const std::string out = disk.path().string();
    const std::vector<std::string> arguments{"rotate", "--angle", "90", "--output", out, clip, colon, ts};
    const std::string tsName = fs::path(ts).stem().string();
    const CliRun first = RunCli(arguments);
    EXPECT_EQ(first.exitCode, 1);
    EXPECT_EQ(first.out, Line("converted", clip, out + "/clip.mp4") +
                             Line("failed", colon, out + "/a:b.mp4") +
                             Line("converted", ts, out + "/" + tsName + ".mp4"));
    EXPECT_NE(first.err.find(colon + ": the disk does not allow this file name\n"), std::string::npos)
        << first.err;
    EXPECT_NE(first.err.find(clip + ": this disk cannot rename a file without replacing another"),
              std::string::npos)
        << first.err;
    const std::string firstBytes = ReadFileBytes(out + "/clip.mp4");
    const CliRun second = RunCli({"rotate", "--angle", "180", "--output", out, clip});
    EXPECT_EQ(second.out, Line("converted", clip, out + "/clip(0).mp4"));
    EXPECT_EQ(ReadFileBytes(out + "/clip.mp4"), firstBytes);
    for (const std::string& name : {std::string("clip.mp4"), std::string("clip(0).mp4"), tsName + ".mp4"}) {
        const FileFacts facts = ReadMediaFacts("file:" + out + "/" + name);
        ASSERT_TRUE(facts.opened) << name;
        ASSERT_FALSE(facts.OfKind("video").empty()) << name;
        EXPECT_TRUE(facts.OfKind("video")[0].matrixAngle.has_value()) << name;
    }
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(out)) {
        names.insert(item.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"clip.mp4", "clip(0).mp4", tsName + ".mp4"}));
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
            const std::string output = ChooseOutputPath(withSlash, input, taken);
            EXPECT_EQ(output, folder + "/" + expected) << input;
            taken.insert(output);
        }
    }
    EXPECT_EQ(FileNameOf("/a/b\\c"), "b\\c");
    EXPECT_TRUE(WriteProbeFileBytes(folder));
    EXPECT_FALSE(WriteProbeFileBytes(dir.file("missing")));
    EXPECT_FALSE(fs::exists(dir.file(kWriteProbeFileName)));
}

} // namespace
} // namespace quarnix::test

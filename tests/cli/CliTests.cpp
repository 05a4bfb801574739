// Runs the built quarnix-cli as a script would and checks its lines and exit codes.
#include "Fixtures.h"

#include "EngineFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <set>
#include <sstream>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quarnix::test {
namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CliRun RunCli(const std::string& arguments) {
    const std::string cli = QUARNIX_CLI_PATH;
    ScopedTempDir scratch;
    CliRun run;
    run.exitCode =
        RunCommand(ShellQuote(cli) + " " + arguments + " 2>" + ShellQuote(scratch.file("err")), &run.out);
    std::ifstream err(scratch.file("err"));
    run.err = std::string((std::istreambuf_iterator<char>(err)), {});
    return run;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');) {
        fields.push_back(field);
    }
    return fields;
}

// The offset of the first box along the path of types (32-bit sizes, as the ffmpeg tool writes small
// files), or npos.
std::size_t FindBox(const std::string& bytes, const std::vector<std::string>& path) {
    std::size_t from = 0;
    std::size_t end = bytes.size();
    std::size_t found = std::string::npos;
    for (const std::string& type : path) {
        found = std::string::npos;
        for (std::size_t at = from; at + 8 <= end;) {
            const std::uint32_t size = Be32At(bytes, at);
            if (size < 8 || at + size > end) {
                break;
            }
            if (bytes.compare(at + 4, 4, type) == 0) {
                found = at;
                break;
            }
            at += size;
        }
        if (found == std::string::npos) {
            return found;
        }
        from = found + 8;
        end = found + Be32At(bytes, found);
    }
    return found;
}

std::string RenameBox(std::string bytes, const std::vector<std::string>& path, const std::string& type) {
    const std::size_t at = FindBox(bytes, path);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos) {
        bytes.replace(at + 4, 4, type);
    }
    return bytes;
}

// `depth` empty user-data boxes, each inside the one before, at the end of the movie box (which the
// ffmpeg tool writes after the media, so no chunk offset moves).
std::string WithNestedUserData(std::string bytes, std::uint32_t depth) {
    const std::size_t moov = FindBox(bytes, {"moov"});
    EXPECT_NE(moov, std::string::npos);
    if (moov == std::string::npos) {
        return bytes;
    }
    const std::uint32_t moovSize = Be32At(bytes, moov);
    EXPECT_EQ(moov + moovSize, bytes.size());
    std::string nested(std::size_t{8} * depth, '\0');
    for (std::uint32_t i = 0; i < depth; ++i) {
        PutBe32(nested, 8 * i, 8 * (depth - i));
        nested.replace(8 * i + 4, 4, "udta");
    }
    bytes.insert(moov + moovSize, nested);
    PutBe32(bytes, moov, moovSize + static_cast<std::uint32_t>(nested.size()));
    return bytes;
}

TEST(Cli, ProbePrintsTheListTextsAndRefusesByName) {
    ScopedTempDir dir;
    const std::string clip = MarkerClip("mp4");
    const std::string audio = AudioOnlyM4a();
    const CliRun run = RunCli("probe " + ShellQuote(clip) + " " + ShellQuote(audio));
    EXPECT_EQ(run.exitCode, 1);
    const auto fields = Fields(run.out.substr(0, run.out.find('\n')));
    ASSERT_EQ(fields.size(), 8u) << run.out;
    EXPECT_EQ(fields[0], clip);
    EXPECT_EQ(fields[1], "mp4");
    EXPECT_EQ(fields[2].substr(0, 9), "00:00:02.");
    EXPECT_EQ(fields[3], "160*120");
    EXPECT_NE(fields[4].find("kbps"), std::string::npos);
    EXPECT_EQ(fields[5], "25.00fps");
    EXPECT_EQ(fields[6], "100");
    EXPECT_EQ(fields[7], "0");
    EXPECT_EQ(run.err, "refused\t" + audio + "\n");
    EXPECT_EQ(RunCli("probe " + ShellQuote(clip)).exitCode, 0);
}

// The eighth field says how players show the video now: what a rotation wrote is read back, in both
// containers that carry a mark.
TEST(Cli, ProbeSaysHowPlayersShowTheVideoNow) {
    for (const char* extension : {"mp4", "mkv"}) {
        ScopedTempDir dir;
        const std::string once = dir.file("once");
        const std::string twice = dir.file("twice");
        std::filesystem::create_directories(once);
        std::filesystem::create_directories(twice);
        ASSERT_EQ(RunCli("rotate --angle 90 --keep-matroska --output " + ShellQuote(once) + " " +
                         ShellQuote(MarkerClip(extension)))
                      .exitCode,
                  0);
        const std::string rotated =
            once + "/" + std::filesystem::path(MarkerClip(extension)).filename().string();
        EXPECT_EQ(Fields(RunCli("probe " + ShellQuote(rotated)).out).back(), "90\n") << extension;
        ASSERT_EQ(RunCli("rotate --angle 180 --keep-matroska --output " + ShellQuote(twice) + " " +
                         ShellQuote(rotated))
                      .exitCode,
                  0);
        const std::string again = twice + "/" + std::filesystem::path(rotated).filename().string();
        EXPECT_EQ(Fields(RunCli("probe " + ShellQuote(again)).out).back(), "270\n") << extension;
    }
}

// --angle and --reencode given again between files apply to the files after them: one batch gives each
// file its own turn and way.
TEST(Cli, AnglesAndWaysBetweenFilesApplyToTheFilesAfterThem) {
    ScopedTempDir dir;
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4", "d.mp4"}) {
        std::filesystem::copy_file(MarkerClip("mp4"), dir.path() / name);
    }
    std::filesystem::create_directories(dir.path() / "out");
    const CliRun run =
        RunCli("rotate --output " + ShellQuote(dir.file("out")) + " " + ShellQuote(dir.file("a.mp4")) +
               " --angle 90 " + ShellQuote(dir.file("b.mp4")) + " --angle 270 " +
               ShellQuote(dir.file("c.mp4")) + " --reencode " + ShellQuote(dir.file("d.mp4")));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto shown = [&](const char* name) {
        std::string out;
        RunCommand("exiftool -s3 -Rotation -ImageSize " + ShellQuote(dir.file(std::string("out/") + name)),
                   &out);
        return out;
    };
    EXPECT_EQ(shown("a.mp4"), "90\n160x120\n"); // before the first --angle: the first one
    EXPECT_EQ(shown("b.mp4"), "90\n160x120\n");
    EXPECT_EQ(shown("c.mp4"), "270\n160x120\n");
    EXPECT_EQ(shown("d.mp4"), "0\n120x160\n"); // the pictures turned by 270, no mark
}

// --replace: each rotated file takes its original's place, with the original's date and permissions; an
// original whose container changes is removed once the new file is in place; a file that fails leaves its
// original byte for byte as it was; nothing hidden is left behind.
TEST(Cli, ReplaceTakesTheOriginalsPlaceAndLeavesAFailedOriginalUnchanged) {
    ScopedTempDir dir;
    const std::string a = dir.file("a.mp4");
    const std::string b = dir.file("b.ts");
    const std::string c = dir.file("c.mp4");
    std::filesystem::copy_file(MarkerClip("mp4"), a);
    std::filesystem::copy_file(TsWithLateAudio(), b);
    // PCM audio under an MP4 name: the MP4 muxer refuses it, so this entry fails.
    std::filesystem::copy_file(MediaFixture("replace-pcm.mkv",
                                            "-f lavfi -i testsrc2=s=160x120:r=25:d=1 -f lavfi "
                                            "-i sine=d=1 -c:v libx264 -c:a pcm_s16le"),
                               c);
    const std::string cBefore = ReadFileBytes(c);
    const timespec old[2] = {{1500000000, 123456789}, {1500000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, a.c_str(), old, 0), 0);
    ASSERT_EQ(chmod(a.c_str(), 0640), 0);
    const CliRun run =
        RunCli("rotate --angle 90 --replace " + ShellQuote(a) + " " + ShellQuote(b) + " " + ShellQuote(c));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, "converted\t" + a + "\t" + a + "\n" + "converted\t" + b + "\t" + dir.file("b.mp4") +
                           "\n" + "failed\t" + c + "\t" + c + "\n");
    for (const std::string& rotated : {a, dir.file("b.mp4")}) {
        std::string rotation;
        RunCommand("exiftool -s3 -Rotation " + ShellQuote(rotated), &rotation);
        EXPECT_EQ(rotation, "90\n") << rotated;
    }
    struct stat info {};
    ASSERT_EQ(stat(a.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(info.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(info.st_mode & 0777, 0640U);
    EXPECT_FALSE(std::filesystem::exists(b));
    EXPECT_NE(run.err.find("the original b.ts was removed"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(c), cBefore);
    std::set<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(dir.path())) {
        names.insert(item.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"a.mp4", "b.mp4", "c.mp4"}));
    // --replace and --output together are refused.
    EXPECT_EQ(RunCli("rotate --angle 90 --replace --output " + ShellQuote(dir.path().string()) + " " +
                     ShellQuote(a))
                  .exitCode,
              2);
}

TEST(Cli, RotateGivesSameNamedInputsDistinctOutputs) {
    ScopedTempDir dir;
    std::filesystem::create_directories(dir.path() / "a");
    std::filesystem::create_directories(dir.path() / "b");
    std::filesystem::create_directories(dir.path() / "out");
    const std::string first = (dir.path() / "a" / "clip.mp4").string();
    const std::string second = (dir.path() / "b" / "clip.mp4").string();
    std::filesystem::copy_file(MarkerClip("mp4"), first);
    std::filesystem::copy_file(MarkerClip("mp4"), second);
    const std::string out = (dir.path() / "out").string();

    const CliRun run = RunCli("rotate --angle 90 --output " + ShellQuote(out) + " " + ShellQuote(first) +
                              " " + ShellQuote(second));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "converted\t" + first + "\t" + out + "/clip.mp4\n" + "converted\t" + second + "\t" +
                           out + "/clip(0).mp4\n");
    std::string rotation;
    RunCommand("exiftool -s3 -Rotation " + ShellQuote(out + "/clip(0).mp4"), &rotation);
    EXPECT_EQ(rotation, "90\n");
}

TEST(Cli, RotateReportsRefusedFilesAndStillConvertsTheOthers) {
    ScopedTempDir dir;
    const std::string missing = dir.file("missing.mp4");
    const CliRun run = RunCli("rotate --angle 180 --output " + ShellQuote(dir.path().string()) + " " +
                              ShellQuote(missing) + " " + ShellQuote(MarkerClip("mkv")));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("refused\t" + missing), std::string::npos);
    EXPECT_EQ(run.out.substr(0, run.out.find('\t')), "converted");
}

TEST(Cli, UsageAndFolderErrorsExitWithTwo) {
    ScopedTempDir dir;
    const std::string clip = ShellQuote(MarkerClip("mp4"));
    const std::string folder = ShellQuote(dir.path().string());
    const std::string cases[] = {
        "",
        "explode " + clip,
        "probe",
        "rotate --angle 45 --output " + folder + " " + clip,
        "rotate --angle 0 --output " + folder + " " + clip, // a turn of 0 is no turn: it needs --absolute
        "rotate --angle 90 " + clip,
        "rotate --angle 90 --output " + folder,
        "rotate --angle 90 --output " + ShellQuote(dir.file("nowhere")) + " " + clip,
        "rotate --angle 90 --output /proc " + clip,
    };
    for (const std::string& arguments : cases) {
        const CliRun run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_FALSE(run.err.empty()) << arguments;
        EXPECT_TRUE(run.out.empty()) << arguments;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(RunCli("--help").exitCode, 0);
}

// --angle turns what players show now; --absolute sets the angle, and 0 clears the mark.
TEST(Cli, AngleTurnsTheShownPictureAndAbsoluteSetsIt) {
    ScopedTempDir dir;
    const auto exifRotation = [](const std::string& path) {
        std::string out;
        RunCommand("exiftool -s3 -Rotation " + ShellQuote(path), &out);
        return out.substr(0, out.find('\n'));
    };
    // Each run writes marker.mp4 into a folder of its own; the second and later runs start from the first's.
    const auto rotate = [&](const std::string& options, const std::string& input, const std::string& folder) {
        std::filesystem::create_directory(dir.file(folder));
        const CliRun run = RunCli("rotate " + options + " --output " + ShellQuote(dir.file(folder)) + " " +
                                  ShellQuote(input));
        EXPECT_EQ(run.exitCode, 0) << options << run.err;
        return dir.file(folder + "/marker.mp4");
    };
    std::filesystem::create_directory(dir.file("in"));
    std::filesystem::copy_file(MarkerClip("mp4"), dir.file("in/marker.mp4"));
    const std::string once = rotate("--angle 90", dir.file("in/marker.mp4"), "once");
    ASSERT_EQ(exifRotation(once), "90");
    EXPECT_EQ(exifRotation(rotate("--angle 90", once, "twice")), "180");
    EXPECT_EQ(exifRotation(rotate("--absolute --angle 270", once, "set")), "270");
    EXPECT_EQ(exifRotation(rotate("--angle 0 --absolute", once, "cleared")), "0");
}

// --keep-matroska keeps an MKV Matroska (by default it becomes MP4); --reencode turns the pictures.
TEST(Cli, KeepMatroskaAndReencodeReachTheEngine) {
    ScopedTempDir dir;
    const std::string mkv = ShellQuote(MarkerClip("mkv"));
    const std::string name = std::filesystem::path(MarkerClip("mkv")).stem().string();
    for (const auto& [options, extension] :
         {std::pair{"", ".mp4"}, std::pair{"--keep-matroska ", ".mkv"}, std::pair{"--reencode ", ".mkv"}}) {
        const std::string folder = dir.file(std::string("out") + std::to_string(std::strlen(options)));
        std::filesystem::create_directory(folder);
        const CliRun run = RunCli("rotate " + std::string(options) + "--angle 90 --output " +
                                  ShellQuote(folder) + " " + mkv);
        EXPECT_EQ(run.exitCode, 0) << options << run.err;
        EXPECT_EQ(Fields(run.out.substr(0, run.out.find('\n'))).back(), folder + "/" + name + extension)
            << options;
        std::string size;
        RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 " +
                       ShellQuote(folder + "/" + name + extension),
                   &size);
        // Only the re-encode turns the stored pictures; the others mark them.
        EXPECT_EQ(size.substr(0, 7), std::string(options) == "--reencode " ? "120,160" : "160,120")
            << options;
    }
}

// An entry whose output name the file system refuses fails alone, says why on stderr, and the command
// ends; the other files are converted.
TEST(Cli, AnOutputNameTooLongFailsThatFileWithItsReason) {
    ScopedTempDir dir;
    std::filesystem::create_directories(dir.path() / "out");
    const std::string out = (dir.path() / "out").string();
    // The longest name the file system takes: its numbered output name "(0)" is longer still.
    const std::string name = std::string(251, 'n') + ".mp4";
    const std::string longInput = dir.file(name);
    std::filesystem::copy_file(MarkerClip("mp4"), longInput);
    std::ofstream(out + "/" + name) << "theirs";
    const std::string other = dir.file("other.mp4");
    std::filesystem::copy_file(MarkerClip("mp4"), other);

    const CliRun run = RunCli("rotate --angle 90 --output " + ShellQuote(out) + " " + ShellQuote(longInput) +
                              " " + ShellQuote(other));
    EXPECT_EQ(run.exitCode, 1);
    const std::string numbered = out + "/" + std::string(251, 'n') + "(0).mp4";
    EXPECT_EQ(run.out, "failed\t" + longInput + "\t" + numbered + "\n" + "converted\t" + other + "\t" + out +
                           "/other.mp4\n");
    EXPECT_EQ(run.err, "quarnix-cli: " + longInput + ": the output name is too long\n");
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(out)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{name, "other.mp4"}));
}

// Whether the folder holds a part file being written.
bool HoldsPartFile(const std::string& folder) {
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        if (item.path().filename().string().find(".part-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Whether the inotify events waiting on the watch include a part file's creation (the folder check's
// test file comes first).
bool PartFileCreated(int watch) {
    alignas(inotify_event) char buffer[4096];
    const ssize_t got = read(watch, buffer, sizeof buffer);
    for (ssize_t at = 0; at >= 0 && at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && std::string(event->name).find(".part-") != std::string::npos) {
            return true;
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    return false;
}

struct InterruptedRun {
    bool midFile = false; // the command was frozen while its first part file existed
    bool exited = false;
    int status = -1;
    std::string lines; // its standard output
    std::string screen;
};

// Runs `rotate` of the two files on a terminal, freezes it (SIGSTOP) as soon as its first part file
// appears, sends the signal (SIGINT as Ctrl-C typed on the terminal) and lets it go on.
InterruptedRun RunAndInterrupt(int signal, const std::string& out, const std::string& input,
                               const std::string& other, const std::string& stdoutPath) {
    InterruptedRun run;
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(watch, 0);
    EXPECT_GE(inotify_add_watch(watch, out.c_str(), IN_CREATE), 0);
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    EXPECT_GE(child, 0);
    if (child == 0) {
        const int stdoutFile = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(stdoutFile, 1);
        execl(QUARNIX_CLI_PATH, "quarnix-cli", "rotate", "--angle", "90", "--output", out.c_str(),
              input.c_str(), other.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    bool sent = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready[2] = {{terminal, POLLIN, 0}, {watch, POLLIN, 0}};
        if (poll(ready, 2, 20) > 0) {
            char buffer[4096];
            if (ready[0].revents & POLLIN) {
                const ssize_t n = read(terminal, buffer, sizeof buffer);
                run.screen.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
            }
            if ((ready[1].revents & POLLIN) && !sent && PartFileCreated(watch)) {
                kill(child, SIGSTOP);
                run.midFile = HoldsPartFile(out);
                if (signal == SIGINT) {
                    const char ctrlC = '\x03';
                    EXPECT_EQ(write(terminal, &ctrlC, 1), 1);
                } else {
                    kill(child, signal);
                }
                kill(child, SIGCONT);
                sent = true;
            }
        }
        if (waitpid(child, &run.status, WNOHANG) == child) {
            run.exited = true;
            break;
        }
    }
    if (!run.exited) {
        kill(child, SIGKILL);
        waitpid(child, &run.status, 0);
    }
    close(watch);
    close(terminal);
    run.lines = ReadFileBytes(stdoutPath);
    return run;
}

// Ctrl-C typed on the terminal, a closed terminal (SIGHUP) or a logout (SIGTERM) while a file is being
// written: the command ends at once, the current file is removed and every file is reported pending. A run
// whose first file was done before it could be frozen is tried again.
TEST(Cli, InterruptsStopAndRemoveTheCurrentFile) {
    // 80 s of video (the long stream four times over), so that its copy surely outlasts the freeze.
    const std::string longStream = ReadFileBytes(LongTs());
    const std::string input80s = longStream + longStream + longStream + longStream;
    for (const int signal : {SIGINT, SIGHUP, SIGTERM}) {
        bool checked = false;
        for (int attempt = 0; attempt < 8 && !checked; ++attempt) {
            ScopedTempDir dir;
            std::filesystem::create_directories(dir.path() / "out");
            const std::string out = (dir.path() / "out").string();
            const std::string input = dir.file("live.ts");
            const std::string other = dir.file("other.mp4");
            std::ofstream(input, std::ios::binary) << input80s;
            std::filesystem::copy_file(MarkerClip("mp4"), other);
            const InterruptedRun run = RunAndInterrupt(signal, out, input, other, dir.file("stdout"));
            ASSERT_TRUE(run.exited) << "quarnix-cli did not exit; terminal showed: " << run.screen;
            EXPECT_FALSE(HoldsPartFile(out)) << signal;
            if (!run.midFile) {
                continue;
            }
            checked = true;
            ASSERT_TRUE(WIFEXITED(run.status)) << signal << run.screen;
            EXPECT_EQ(WEXITSTATUS(run.status), 1);
            EXPECT_EQ(run.lines, "pending\t" + input + "\t" + out + "/live.ts\n" + "pending\t" + other +
                                     "\t" + out + "/other.mp4\n")
                << signal;
            EXPECT_TRUE(std::filesystem::is_empty(out)) << signal;
        }
        EXPECT_TRUE(checked) << "no run could be interrupted in its first file, signal " << signal;
    }
}

// Anything but a regular file is refused at once, before it is opened, by probe and rotate: a FIFO nobody
// writes, a link to /dev/zero, a terminal. The regular file beside them is still converted.
TEST(Cli, InputsThatAreNotFilesAreRefusedAtOnce) {
    ScopedTempDir dir;
    std::filesystem::create_directories(dir.path() / "out");
    const std::string fifo = dir.file("x.mp4");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string zero = dir.file("z.mp4");
    std::filesystem::create_symlink("/dev/zero", zero);
    const std::string tty = dir.file("t.mkv");
    std::filesystem::create_symlink("/dev/tty", tty);
    const std::string clip = dir.file("clip.mp4");
    std::filesystem::copy_file(MarkerClip("mp4"), clip);
    const std::string files = ShellQuote(fifo) + " " + ShellQuote(zero) + " " + ShellQuote(tty) + " ";
    const std::string refusal = "it is not a file";

    const auto started = std::chrono::steady_clock::now();
    const CliRun probe = RunCli("probe --json " + files);
    const CliRun rotate = RunCli("rotate --json --angle 90 --output " +
                                 ShellQuote((dir.path() / "out").string()) + " " + files + ShellQuote(clip));
    // Far below the deadline of a hang; each refusal takes no time at all.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
    EXPECT_EQ(probe.exitCode, 1);
    EXPECT_EQ(rotate.exitCode, 1);
    for (const std::string& file : {fifo, zero, tty}) {
        const std::string line =
            "{\"input\": \"" + file + "\", \"status\": \"refused\", \"reason\": \"" + refusal + "\"}\n";
        EXPECT_NE(probe.out.find(line), std::string::npos) << probe.out;
        EXPECT_NE(rotate.out.find(line), std::string::npos) << rotate.out;
    }
    EXPECT_NE(rotate.out.find("\"status\": \"converted\""), std::string::npos) << rotate.out;
}

// A QuickTime file whose boxes the demuxer refuses gets the same answer with and without --verbose, from
// probe and rotate alike: a media header renamed to a track header, a track nested in a media box, and
// ten thousand nested user-data boxes. The undamaged file is accepted both ways.
TEST(Cli, DamagedQuickTimeBoxesGetOneAnswerAtEveryLogLevel) {
    ScopedTempDir dir;
    const std::string clip = MarkerClip("mp4");
    const std::string bytes = ReadFileBytes(clip);
    struct Damage {
        const char* name;
        std::string bytes;
        bool accepted;
    };
    std::vector<Damage> cases = {
        {"intact.mp4", bytes, true},
        {"mdhd_as_tkhd.mp4", RenameBox(bytes, {"moov", "trak", "mdia", "mdhd"}, "tkhd"), false},
        {"trak_in_mdia.mp4", RenameBox(bytes, {"moov", "trak", "mdia", "minf"}, "trak"), false},
        {"deep_udta.mp4", WithNestedUserData(bytes, 10000), false}};
    for (const Damage& damage : cases) {
        const std::string path = dir.file(damage.name);
        std::ofstream(path, std::ios::binary) << damage.bytes;
        for (const std::string verbose : {"", "--verbose "}) {
            std::filesystem::remove_all(dir.path() / "out");
            std::filesystem::create_directories(dir.path() / "out");
            const CliRun probe = RunCli("probe " + verbose + ShellQuote(path));
            const CliRun rotate = RunCli("rotate " + verbose + "--angle 90 --output " +
                                         ShellQuote((dir.path() / "out").string()) + " " + ShellQuote(path));
            EXPECT_EQ(probe.exitCode, damage.accepted ? 0 : 1) << damage.name << " " << verbose;
            EXPECT_EQ(rotate.exitCode, damage.accepted ? 0 : 1) << damage.name << " " << verbose;
            EXPECT_EQ(rotate.out.rfind("converted\t", 0) == 0, damage.accepted)
                << damage.name << " " << verbose;
            EXPECT_EQ(rotate.err.find("refused\t" + path) != std::string::npos, !damage.accepted)
                << damage.name << " " << verbose << rotate.err;
        }
    }
}

// The output is flushed to the disk before it gets its name, and its folder after: on both paths (the
// in-place copy of an MP4, the remux of an MPEG-TS into MOV), strace shows fdatasync of the part file,
// then the rename of that part file, then fsync of the folder.
TEST(Cli, OutputsAreFlushedBeforeTheirRenameAndTheFolderAfter) {
    ASSERT_TRUE(HasTool("strace"));
    ScopedTempDir dir;
    std::filesystem::create_directories(dir.path() / "out");
    const std::string out = (dir.path() / "out").string();
    const std::string trace = dir.file("trace");
    // LeakSanitizer cannot stop a traced process's threads: the sanitizer build checks leaks elsewhere.
    const std::string command =
        "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" "
        "strace -f -y -qq -e trace=fdatasync,fsync,renameat2,rename,renameat,linkat -o " + ShellQuote(trace) +
        " " + ShellQuote(QUARNIX_CLI_PATH) + " rotate --angle 90 --output " + ShellQuote(out) + " " +
        ShellQuote(MarkerClip("mp4")) + " " + ShellQuote(TsWithLateAudio()) + " >/dev/null 2>&1";
    ASSERT_EQ(RunCommand(command), 0);
    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    int renames = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // renameat2(5</folder>, ".clip.mp4.part-AbC123", 5</folder>, "clip.mp4", RENAME_NOREPLACE) = 0
        const std::size_t quote = lines[i].find('"');
        if (lines[i].find("renameat2(") == std::string::npos || quote == std::string::npos ||
            lines[i].find(".part-") == std::string::npos) {
            continue;
        }
        ++renames;
        const std::string partName = lines[i].substr(quote + 1, lines[i].find('"', quote + 1) - quote - 1);
        bool flushedBefore = false;
        for (std::size_t j = 0; j < i; ++j) {
            flushedBefore = flushedBefore || (lines[j].find("fdatasync(") != std::string::npos &&
                                              lines[j].find("/" + partName + ">") != std::string::npos);
        }
        bool folderAfter = false;
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            folderAfter = folderAfter || (lines[j].find(" fsync(") != std::string::npos &&
                                          lines[j].find("<" + out + ">") != std::string::npos);
        }
        EXPECT_TRUE(flushedBefore) << lines[i];
        EXPECT_TRUE(folderAfter) << lines[i];
    }
    EXPECT_EQ(renames, 2) << ReadFileBytes(trace);
}

// --output naming a regular file says what it is.
TEST(Cli, AnOutputThatIsAFileIsNamedSo) {
    ScopedTempDir dir;
    const std::string file = dir.file("notes.txt");
    std::ofstream(file) << "notes";
    const CliRun run =
        RunCli("rotate --angle 90 --output " + ShellQuote(file) + " " + ShellQuote(MarkerClip("mp4")));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "error: the output folder is a file, not a folder: " + file + "\n");
    EXPECT_EQ(ReadFileBytes(file), "notes");
}

} // namespace
} // namespace quarnix::test

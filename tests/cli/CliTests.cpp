// Runs the built quarnix-cli as a script would and checks its lines and exit codes.
#include "Fixtures.h"

#include "EngineFixtures.h"
#include "StalledPipe.h"

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
#include <sstream>
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

TEST(Cli, ProbePrintsTheListTextsAndRefusesByName) {
    ScopedTempDir dir;
    const std::string clip = MarkerClip("mp4");
    const std::string audio = AudioOnlyM4a();
    const CliRun run = RunCli("probe " + ShellQuote(clip) + " " + ShellQuote(audio));
    EXPECT_EQ(run.exitCode, 1);
    const auto fields = Fields(run.out.substr(0, run.out.find('\n')));
    ASSERT_EQ(fields.size(), 7u) << run.out;
    EXPECT_EQ(fields[0], clip);
    EXPECT_EQ(fields[1], "mp4");
    EXPECT_EQ(fields[2].substr(0, 9), "00:00:02.");
    EXPECT_EQ(fields[3], "160*120");
    EXPECT_NE(fields[4].find("kbps"), std::string::npos);
    EXPECT_EQ(fields[5], "25.00fps");
    EXPECT_EQ(fields[6], "100");
    EXPECT_EQ(run.err, "refused\t" + audio + "\n");
    EXPECT_EQ(RunCli("probe " + ShellQuote(clip)).exitCode, 0);
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

// Ctrl-C typed on the terminal while a file is being written: the command ends at once, the current file
// is removed and every file is reported pending.
TEST(Cli, CtrlCOnATerminalStopsAndExits) {
    ScopedTempDir dir;
    std::filesystem::create_directories(dir.path() / "out");
    const std::string out = (dir.path() / "out").string();
    // The input is a pipe that never reports an end: the probe reads its start, the copy the rest, and
    // then waits for more when Ctrl-C comes.
    const std::string pipe = dir.file("live.ts");
    const std::string other = dir.file("other.mp4");
    std::filesystem::copy_file(MarkerClip("mp4"), other);
    const std::string stdoutPath = dir.file("stdout"); // made before the fork: the child allocates nothing
    StalledPipe feed(pipe, LongTs(), 1);

    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int stdoutFile = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(stdoutFile, 1);
        execl(QUARNIX_CLI_PATH, "quarnix-cli", "rotate", "--angle", "90", "--output", out.c_str(),
              pipe.c_str(), other.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Reads the terminal so the child never blocks on it; sends Ctrl-C once the copy runs.
    std::string screen;
    bool sent = false;
    int status = -1;
    bool exited = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{terminal, POLLIN, 0};
        if (poll(&ready, 1, 20) > 0) {
            char buffer[4096];
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n > 0) {
                screen.append(buffer, static_cast<std::size_t>(n));
            }
        }
        if (!sent && feed.Fed() && screen.find("[1/2]") != std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const char ctrlC = '\x03';
            ASSERT_EQ(write(terminal, &ctrlC, 1), 1);
            sent = true;
        }
        if (waitpid(child, &status, WNOHANG) == child) {
            exited = true;
            break;
        }
    }
    if (!exited) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    ASSERT_TRUE(exited) << "quarnix-cli did not exit; terminal showed: " << screen;
    close(terminal);
    ASSERT_TRUE(sent) << screen;
    ASSERT_TRUE(WIFEXITED(status)) << screen;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream result(stdoutPath);
    const std::string lines((std::istreambuf_iterator<char>(result)), {});
    EXPECT_EQ(lines, "pending\t" + pipe + "\t" + out + "/live.ts\n" + "pending\t" + other + "\t" + out +
                         "/other.mp4\n");
    EXPECT_TRUE(std::filesystem::is_empty(out));
}

} // namespace
} // namespace quarnix::test

// Runs the built quarnix-cli as a script would and checks its lines and exit codes.
#include "Fixtures.h"

#include "EngineFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

} // namespace
} // namespace quarnix::test

// Helpers of the fault-injection tests: file bytes, a full volume, a pipe the test feeds, an action run on
// the worker thread at a known point of an entry, and running a check without root's rights.
#pragma once

#include "Fixtures.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quarnix::test {

void WriteFileBytes(const std::string& path, const std::string& bytes);

// File names with characters that shells, URL parsers and text codecs treat specially; the last ones are
// not valid UTF-8. Each ends in ".mp4".
const std::vector<std::string>& AwkwardFileNames();

// A volume that holds at most `bytes`: a tmpfs mounted on `folder` when the machine allows it and
// `mayMount`, otherwise a file-size limit on this process and the programs it starts, with SIGXFSZ ignored
// (writes past it fail with EFBIG, as they fail with ENOSPC on a full volume). Undone on destruction.
class FullVolume {
public:
    FullVolume(const std::filesystem::path& folder, long long bytes, bool mayMount = true);
    ~FullVolume();
    FullVolume(const FullVolume&) = delete;
    FullVolume& operator=(const FullVolume&) = delete;
    bool mounted() const { return m_mounted; }

private:
    std::filesystem::path m_folder;
    bool m_mounted = false;
    bool m_limited = false;
    unsigned long long m_savedLimit = 0;
};

// While alive, runs `action` once on the worker thread when the worker describes the output of its first
// entry to the media libraries' log: the input is open and partly read, the output not yet created.
class AtFirstOutputDescription {
public:
    explicit AtFirstOutputDescription(std::function<void()> action);
    ~AtFirstOutputDescription();
    AtFirstOutputDescription(const AtFirstOutputDescription&) = delete;
    AtFirstOutputDescription& operator=(const AtFirstOutputDescription&) = delete;
    bool fired() const;
};

// Writes bytes into a pipe that a reader has opened (blocks until then); false when the reader went away.
bool FeedPipe(int fd, const char* data, std::size_t size);

// Runs the check as the unprivileged user "nobody" (in a child process when the tests run as root, since
// root reads every file) and returns its exit code (0..254); 255 when it could not run.
int RunAsNobody(const std::function<int()>& check);

// In `dir`, which it opens to every user: a clip anyone may read ("clip.mp4") and two inputs no user but
// root can read as media: a copy of the clip with no permissions ("locked.mp4") and a folder named like a
// video ("folder.mp4").
struct UnreadableInputs {
    std::string clip;
    std::string locked;
    std::string folder;
};
UnreadableInputs MakeUnreadableInputs(const ScopedTempDir& dir);

} // namespace quarnix::test

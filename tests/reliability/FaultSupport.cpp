#include "FaultSupport.h"

#include "EngineFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <mutex>
#include <poll.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace quarnix::test {

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

const std::vector<std::string>& AwkwardFileNames() {
    static const std::vector<std::string> names = {
        "it's \"quoted\".mp4",
        "line\nbreak.mp4",
        "back\\slash.mp4",
        "-leading dash.mp4",
        "--help.mp4",
        "tab\tand  spaces .mp4",
        "colon:1.mp4",
        "percent%d%s.mp4",
        "$(dollar) `tick` *?[glob]|&;<>.mp4",
        "#hash?query=1.mp4",
        "latin1 \xe9t\xe9.mp4",    // Windows-1252 bytes: not UTF-8
        "broken \xff\xfe\x80.mp4", // bytes that begin no UTF-8 sequence
        "\xc3(overlong \xc0\xaf).mp4",
    };
    return names;
}

FullVolume::FullVolume(const std::filesystem::path& folder, long long bytes, bool mayMount)
    : m_folder(folder) {
    std::filesystem::create_directories(folder);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    if (mayMount && geteuid() == 0 &&
        mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
        m_mounted = true;
        return;
    }
    // No mount here: past the limit every write fails with EFBIG, as writes fail with ENOSPC on a full
    // volume.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        ADD_FAILURE() << "no way to limit the output volume";
        return;
    }
    m_savedLimit = limit.rlim_cur;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    m_limited = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    EXPECT_TRUE(m_limited);
}

FullVolume::~FullVolume() {
    if (m_mounted) {
        EXPECT_EQ(umount2(m_folder.c_str(), MNT_DETACH), 0);
    }
    if (m_limited) {
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(m_savedLimit);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
}

namespace {
std::mutex g_hookMutex;
std::function<void()> g_hookAction;
std::atomic<bool> g_hookFired{false};

void HookCallback(void* object, int level, const char* format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    char line[256];
    std::vsnprintf(line, sizeof line, format, copy);
    va_end(copy);
    if (std::strncmp(line, "Output #0", 9) == 0 && !g_hookFired.exchange(true)) {
        std::function<void()> action;
        {
            std::lock_guard lock(g_hookMutex);
            action = g_hookAction;
        }
        if (action) {
            action();
        }
    }
    if (level <= AV_LOG_ERROR) {
        av_log_default_callback(object, level, format, arguments);
    }
}
} // namespace

AtFirstOutputDescription::AtFirstOutputDescription(std::function<void()> action) {
    {
        std::lock_guard lock(g_hookMutex);
        g_hookAction = std::move(action);
    }
    g_hookFired = false;
    av_log_set_callback(HookCallback);
}

AtFirstOutputDescription::~AtFirstOutputDescription() {
    av_log_set_callback(av_log_default_callback);
    std::lock_guard lock(g_hookMutex);
    g_hookAction = nullptr;
}

bool AtFirstOutputDescription::fired() const {
    return g_hookFired.load();
}

bool FeedPipe(int fd, const char* data, std::size_t size) {
    const auto end = std::chrono::steady_clock::now() + kChildDeadline;
    for (std::size_t written = 0; written < size;) {
        // Waits for room in the pipe no longer than the deadline, so a reader that stopped reading fails the
        // test instead of hanging it.
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd writable{fd, POLLOUT, 0};
        const int ready = left.count() > 0 ? poll(&writable, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            ADD_FAILURE() << "the pipe's reader took no data for " << kChildDeadline.count() << " s";
            return false;
        }
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

int RunAsNobody(const std::function<int()>& check) {
    if (geteuid() != 0) {
        return check();
    }
    const pid_t child = fork();
    if (child == 0) {
        // 65534 is "nobody" on Debian.
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(255);
        }
        _exit(check() & 0xff);
    }
    if (child < 0) {
        return 255;
    }
    const int status = WaitForChild(child);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

UnreadableInputs MakeUnreadableInputs(const ScopedTempDir& dir) {
    // Everything "nobody" reads lives in this folder, so the checkout's place (maybe a folder only its
    // owner may enter) does not matter.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    UnreadableInputs inputs{dir.file("clip.mp4"), dir.file("locked.mp4"), dir.file("folder.mp4")};
    std::filesystem::copy_file(MarkerClip("mp4"), inputs.clip);
    std::filesystem::permissions(inputs.clip, std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::group_read |
                                                  std::filesystem::perms::others_read);
    std::filesystem::copy_file(inputs.clip, inputs.locked);
    std::filesystem::permissions(inputs.locked, std::filesystem::perms::none);
    std::filesystem::create_directory(inputs.folder);
    return inputs;
}

} // namespace quarnix::test

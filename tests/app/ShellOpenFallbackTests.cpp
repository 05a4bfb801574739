// Opening a folder or the help page when Qt's desktop services cannot (no xdg-open, or a platform plugin
// without desktop services such as offscreen, on which these tests run): the desktop's own openers
// found on PATH take over, and when there is none the failure is said plainly.
#include "platform/widgets/ShellOpen.h"

#include "Fixtures.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnix {
namespace {

using test::ScopedTempDir;

// PATH holds only the given folder while the object lives.
class ScopedPath {
public:
    explicit ScopedPath(const std::string& folder) {
        if (const char* old = std::getenv("PATH")) {
            m_old = old;
        }
        setenv("PATH", folder.c_str(), 1);
    }
    ~ScopedPath() {
        if (m_old) {
            setenv("PATH", m_old->c_str(), 1);
        }
    }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

private:
    std::optional<std::string> m_old;
};

// A stand-in opener that writes its arguments, one a line, to `record` (under a private name first, so the
// test never reads half a file).
void WriteOpener(const ScopedTempDir& bin, const std::string& name, const std::string& record) {
    const std::string path = bin.file(name);
    std::ofstream(path) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << record << ".part' && /bin/mv '" << record
                        << ".part' '" << record << "'\n";
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
}

QString WaitForRecord(const std::string& record) {
    const QDeadlineTimer deadline(20000);
    while (!QFile::exists(QString::fromStdString(record)) && !deadline.hasExpired()) {
        QThread::msleep(20);
    }
    QFile file(QString::fromStdString(record));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString("(not run)");
}

TEST(ShellOpenFallback, TheFirstOpenerOnThePathOpensFoldersAndAddresses) {
    struct Case {
        std::string opener;
        QString leading; // the opener's own first arguments
    };
    const Case cases[] = {{"xdg-open", ""}, {"gio", "open\n"}, {"exo-open", ""}};
    for (const Case& c : cases) {
        ScopedTempDir bin;
        ScopedTempDir target;
        WriteOpener(bin, c.opener, bin.file("folder.txt"));
        ScopedPath path(bin.path().string());
        const QString folder = QString::fromStdString(target.path().string());
        EXPECT_EQ(ShellOpen(folder), kShellOpenSucceeded) << c.opener;
        EXPECT_EQ(WaitForRecord(bin.file("folder.txt")), c.leading + folder + "\n") << c.opener;

        std::remove(bin.file(c.opener).c_str());
        WriteOpener(bin, c.opener, bin.file("web.txt"));
        EXPECT_EQ(ShellOpen("https://example.org/help#top"), kShellOpenSucceeded) << c.opener;
        EXPECT_EQ(WaitForRecord(bin.file("web.txt")), c.leading + "https://example.org/help#top\n")
            << c.opener;
    }
}

// xdg-open starts and then finds no application (it ends with 3 or 4 at once): ShellOpen has already
// said success, so the failure is reported afterwards; an opener that ends well reports nothing.
TEST(ShellOpenFallback, AnOpenerThatEndsInFailureIsReportedAfterwards) {
    struct Case {
        int exitCode;
        bool reported;
    };
    for (const Case c : {Case{4, true}, Case{3, true}, Case{0, false}}) {
        ScopedTempDir bin;
        ScopedTempDir target;
        const std::string opener = bin.file("xdg-open");
        std::ofstream(opener) << "#!/bin/sh\n: > '" << bin.file("ran") << "'\nexit " << c.exitCode << "\n";
        ASSERT_EQ(chmod(opener.c_str(), 0755), 0);
        ScopedPath path(bin.path().string());
        bool reported = false;
        EXPECT_EQ(ShellOpen(QString::fromStdString(target.path().string()), [&] { reported = true; }),
                  kShellOpenSucceeded);
        // The opener's end arrives through the event loop; give an opener that ends well the same time.
        const bool arrived = QTest::qWaitFor([&] { return reported; }, c.reported ? 20000 : 1500);
        EXPECT_TRUE(QFile::exists(QString::fromStdString(bin.file("ran")))) << c.exitCode;
        EXPECT_EQ(arrived, c.reported) << c.exitCode;
    }
}

TEST(ShellOpenFallback, NothingToOpenWithIsSaidPlainly) {
    ScopedTempDir emptyBin;
    ScopedTempDir target;
    ScopedPath path(emptyBin.path().string());
    // stderr into a file for the length of the call.
    const std::string log = emptyBin.file("stderr.txt");
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDERR_FILENO);
    close(fd);
    const int result = ShellOpen(QString::fromStdString(target.path().string()));
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    EXPECT_EQ(result, kShellNoAssociation);
    std::ifstream in(log);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("quarnix: no program to open " + target.path().string() + " with: install xdg-utils"),
              std::string::npos)
        << text;
}

} // namespace
} // namespace quarnix

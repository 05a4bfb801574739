#include "SettingsTestSupport.h"

#include "platform/ExecutableFolder.h"
#include "settings/LanguageTexts.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace quarnix::test {

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return file.readAll();
}

ScopedExecutableFolder::ScopedExecutableFolder() {
    SetExecutableFolderOverride(path());
    ResetTexts();
}

ScopedExecutableFolder::~ScopedExecutableFolder() {
    SetExecutableFolderOverride(QString());
    ResetTexts();
}

QString ScopedExecutableFolder::path() const {
    return QString::fromStdString(m_dir.path().string());
}

QString ScopedExecutableFolder::file(const QString& relative) const {
    return QDir(path()).filePath(relative);
}

bool RunUnprivileged(const std::function<bool()>& check) {
    if (geteuid() != 0) {
        return check();
    }
    const pid_t child = fork();
    if (child == 0) {
        // 65534 is "nobody" on Debian.
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(3);
        }
        _exit(check() ? 0 : 1);
    }
    const int status = child < 0 ? -1 : WaitForChild(child);
    if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        ADD_FAILURE() << "the unprivileged check could not run";
        return true;
    }
    return WEXITSTATUS(status) == 0;
}

QString BinFolder() {
    const char* dir = std::getenv("QUARNIX_BIN_DIR");
    return QString::fromLocal8Bit(dir != nullptr && *dir != '\0' ? dir : QUARNIX_DEFAULT_BIN_DIR);
}

QString DataSourceFolder() {
    return QStringLiteral(QUARNIX_DATA_SOURCE_DIR);
}

} // namespace quarnix::test

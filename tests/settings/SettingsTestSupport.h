// Helpers of the settings tests: files written byte for byte, a temporary executable folder, and running
// a check without root's right to write everywhere.
#pragma once

#include "Fixtures.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <string>

namespace quarnix::test {

void WriteBytes(const QString& path, const QByteArray& bytes);
QByteArray ReadBytes(const QString& path);

// A temporary folder that ExecutableFolder() returns while the object lives.
class ScopedExecutableFolder {
public:
    ScopedExecutableFolder();
    ~ScopedExecutableFolder();
    ScopedExecutableFolder(const ScopedExecutableFolder&) = delete;
    ScopedExecutableFolder& operator=(const ScopedExecutableFolder&) = delete;

    QString path() const;
    QString file(const QString& relative) const;

private:
    ScopedTempDir m_dir;
};

// Runs the check as an unprivileged user (in a child process when the tests run as root, since root may
// write into read-only folders) and returns its result.
bool RunUnprivileged(const std::function<bool()>& check);

// The folder with the shipped files that the build copied (build/bin).
QString BinFolder();
// The source folder data/.
QString DataSourceFolder();

} // namespace quarnix::test

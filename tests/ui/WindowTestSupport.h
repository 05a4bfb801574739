// Helpers of the window tests: a temporary program folder with the shipped settings and packs, and the
// platform's dialogs, message boxes and shell calls answered by the test.
#pragma once

#include "Fixtures.h"
#include "platform/widgets/MessageBox.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace quarnix::test {

class WindowTestEnvironment {
public:
    // withShippedData: copy setting.ini and the language packs into the temporary program folder.
    explicit WindowTestEnvironment(bool withShippedData = true);
    ~WindowTestEnvironment();

    QString ProgramFolder() const { return QString::fromStdString(m_programFolder.path().string()); }
    QString SettingsFile() const { return ProgramFolder() + "/setting.ini"; }

    // What the open-file dialog and the folder picker answer next (nothing = cancel).
    std::optional<QStringList> filesToOpen;
    std::optional<QString> folderToChoose;
    QString lastFilter;
    QString lastOpenFolder; // where the open-file dialog would have started

    // How a yes-or-no question is answered (No unless a test says otherwise), and the questions asked.
    bool answerToQuestions = false;
    const QStringList& Questions() const { return m_questions; }

    QStringList ShellOpened() const { return m_shellOpened; }
    const QStringList& Messages() const { return m_messages.Texts(); }

private:
    ScopedTempDir m_programFolder;
    ScopedMessageCapture m_messages;
    QStringList m_shellOpened;
    QStringList m_questions;
};

// Reads a key of an INI file as text ("" when absent), independently of the program's own reader.
QString IniValue(const QString& file, const QString& section, const QString& key);

} // namespace quarnix::test

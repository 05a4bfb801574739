#include "WindowTestSupport.h"

#include "engine/EngineLog.h"
#include "platform/ExecutableFolder.h"
#include "platform/widgets/FileDialogs.h"
#include "platform/widgets/ShellOpen.h"
#include "settings/LanguageTexts.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <filesystem>

namespace quarnix::test {

WindowTestEnvironment::WindowTestEnvironment(bool withShippedData) {
    SetLogLevel(kLogError);
    if (withShippedData) {
        const std::filesystem::path data = QUARNIX_DATA_SOURCE_DIR;
        std::filesystem::copy_file(data / "setting.ini", m_programFolder.path() / "setting.ini");
        std::filesystem::copy(data / "languages", m_programFolder.path() / "languages",
                              std::filesystem::copy_options::recursive);
    }
    SetExecutableFolderOverride(ProgramFolder());
    if (withShippedData) {
        // The shipped settings leave the language to the system's; the tests expect the English texts
        // whatever language the machine runs in.
        WriteSetting("LANGUAGE", "file", "english.ini");
    }
    ResetTexts();
    SetOpenFilesChooser([this](const QString& filter, const QString& folder) {
        lastFilter = filter;
        lastOpenFolder = folder;
        return filesToOpen;
    });
    SetFolderChooser([this](const QString&) { return folderToChoose; });
    SetQuestionAnswerer([this](const QString& text) {
        m_questions << text;
        return answerToQuestions;
    });
    SetShellOpenHandler([this](const QString& target) {
        m_shellOpened << target;
        return kShellOpenSucceeded;
    });
}

WindowTestEnvironment::~WindowTestEnvironment() {
    SetOpenFilesChooser({});
    SetFolderChooser({});
    SetQuestionAnswerer({});
    SetShellOpenHandler({});
    SetExecutableFolderOverride(QString());
    ResetTexts();
}

QString IniValue(const QString& file, const QString& section, const QString& key) {
    const QSettings ini(file, QSettings::IniFormat);
    return ini.value(section + u'/' + key).toString();
}

} // namespace quarnix::test

#include "app/TessalyApp.h"

#include "QuarnixVersion.h"
#include "platform/widgets/CloseOnTermination.h"
#include "ui/main/TessalyDlg.h"

#include <QPointer>
#include <QTimer>

namespace quarnix {

CTessalyApp::CTessalyApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("quarnix"));
    setApplicationVersion(QString::fromLatin1(kVersion));
    // Lets the desktop match the window to the launcher entry and its icon.
    setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

int CTessalyApp::InitInstance(const QStringList& files) {
    {
        CTessalyDlg dialog;
        const CloseOnTermination closeOnTermination(dialog);
        AddFilesWhenShown(dialog, files);
        dialog.exec();
    }
    return 0;
}

void AddFilesWhenShown(CTessalyDlg& dialog, const QStringList& files) {
    if (files.isEmpty()) {
        return;
    }
    // A zero timer fires from the event loop, which runs only once exec() has shown the window.
    QTimer::singleShot(0, &dialog, [window = QPointer<CTessalyDlg>(&dialog), files] {
        if (window) {
            window->AddDroppedFiles(files);
        }
    });
}

} // namespace quarnix

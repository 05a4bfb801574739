// CTessalyApp: the application object. It prepares the process for the user interface, runs the main
// window modally and ends the program when that window closes.
#pragma once

#include <QApplication>
#include <QStringList>

namespace quarnix {

class CTessalyDlg;

class CTessalyApp : public QApplication {
public:
    CTessalyApp(int& argc, char** argv);

    // Runs the main window until it is closed; the files (from the command line) are added to its list
    // once it shows. Returns the process exit code.
    int InitInstance(const QStringList& files = {});
};

// Adds the files to the window's list as soon as the event loop runs after the window is shown, through
// the same path as a drop: each is probed, and a refused file is reported and ends the adding.
void AddFilesWhenShown(CTessalyDlg& dialog, const QStringList& files);

} // namespace quarnix

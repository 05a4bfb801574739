// CTessalyApp: the application object. It prepares the process for the user interface, runs the main
// window modally and ends the program when that window closes.
#pragma once

#include <QApplication>

namespace quarnix {

class CTessalyApp : public QApplication {
public:
    CTessalyApp(int& argc, char** argv);

    // Runs the main window until it is closed; returns the process exit code.
    int InitInstance();
};

} // namespace quarnix

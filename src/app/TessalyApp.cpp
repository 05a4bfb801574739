#include "TessalyApp.h"

#include "TessalyDlg.h"

namespace quarnix {

CTessalyApp::CTessalyApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CTessalyApp::InitInstance() {
    {
        CTessalyDlg dialog;
        dialog.exec();
    }
    return 0;
}

} // namespace quarnix

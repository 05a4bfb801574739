// quarnix: the window that rotates videos in batch.
#include "TessalyApp.h"

int main(int argc, char* argv[]) {
    quarnix::CTessalyApp app(argc, argv);
    return app.InitInstance();
}

// Program entry: the application object, the main window (which starts the
// title screen while it is made), the hidden dialogs, then the message loop.
#include "installer/TForm1.h"
#include "toolkit/Application.h"

#include <memory>

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    application.SetTitle("Install");

    std::unique_ptr<TForm1> mainWindow;
    try {
        mainWindow = std::make_unique<TForm1>();
    } catch (const std::exception& error) {
        ShowStartupError(error);
        return 1;
    }
    mainWindow->show();
    mainWindow->activateWindow();
    TApplication::exec();
    mainWindow.reset();
    return 0;
}

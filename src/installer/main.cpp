// Program entry: the application object, the main window (which starts the
// title screen while it is made), the hidden dialogs, then the message loop.
#include "dialogs/FolderDialog.h"
#include "dialogs/NfoViewer.h"
#include "installer/Forms.h"
#include "installer/TForm1.h"
#include "toolkit/Application.h"

#include <memory>

int main(int argc, char** argv) {
    // The screen is pixel art: on a high-density display it is shown scaled
    // by a whole factor, so every surface pixel stays a sharp square.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    TApplication application(argc, argv);
    application.SetTitle("Install");

    std::unique_ptr<TForm1> mainWindow;
    std::unique_ptr<TForm2> folderDialog;
    std::unique_ptr<TForm3> viewer;
    try {
        mainWindow = std::make_unique<TForm1>();
        TForm1* form1 = mainWindow.get();
        folderDialog = std::make_unique<TForm2>(
            TForm2::Owner{[form1] { return form1->DefaultDirName; },
                          [form1](const std::string& folder) { form1->DestDir = folder; }});
        viewer = std::make_unique<TForm3>();
        Form2 = folderDialog.get();
        Form3 = viewer.get();
    } catch (const std::exception& error) {
        ShowStartupError(error);
        return 1;
    }
    mainWindow->show();
    mainWindow->activateWindow();
    TApplication::exec();

    // Windows go in the reverse order of their making; the main window's
    // drawing surface finalises as it goes.
    Form3 = nullptr;
    Form2 = nullptr;
    viewer.reset();
    folderDialog.reset();
    mainWindow.reset();
    return 0;
}

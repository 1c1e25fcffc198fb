// Shows one of the dialogs for a look or a screenshot (not a test):
//
//     dialogs_demo folder <start folder> [grab.png]
//     dialogs_demo nfo <file.nfo> [grab.png]
//
// With a grab file the window's own picture is written after a moment; the
// program ends by itself after a few seconds either way.
#include "dialogs/FolderDialog.h"
#include "dialogs/NfoViewer.h"
#include "toolkit/Exceptions.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s folder|nfo <path> [grab.png]\n", argv[0]);
        return 2;
    }
    const std::string kind = argv[1];
    const QString grab = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();

    std::unique_ptr<QDialog> dialog;
    try {
        if (kind == "folder") {
            std::filesystem::current_path(argv[2]);
            dialog = std::make_unique<TForm2>(TForm2::Owner{[] { return std::string("untitled"); },
                                                            [](const std::string& dir) {
                                                                std::printf("DestDir=%s\n", dir.c_str());
                                                            }});
        } else {
            auto viewer = std::make_unique<TForm3>();
            viewer->LoadFromFile(argv[2]);
            dialog = std::move(viewer);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    dialog->show();
    if (!grab.isEmpty())
        QTimer::singleShot(1500, [&] { dialog->grab().save(grab); });
    QTimer::singleShot(kind == "folder" ? 8000 : 5000, &app, &QApplication::quit);
    return app.exec();
}

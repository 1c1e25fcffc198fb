// A main window as the program makes it, in a scratch program folder whose
// install.ini gives a title and a publisher.
#pragma once

#include "installer/Settings.h"
#include "installer/TForm1.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

inline std::unique_ptr<TForm1> MakeBenchWindow(QTemporaryDir& folder) {
    QFile ini(folder.filePath("install.ini"));
    if (ini.open(QIODevice::WriteOnly))
        ini.write("[FLAGS]\r\nTITLE=Starfall Odyssey\r\nPUBLISHER=Nebula Interactive\r\nNUMFILES=3\r\n");
    ini.close();
    SetProgramFolderForTesting(QDir::toNativeSeparators(folder.path()).toStdString());
    return std::make_unique<TForm1>();
}

// Build step: turns a bitmap file into the picture container's stored form,
// the way the dialog's layout data holds its background picture.
//
//     StorePicture input.bmp output.picture
#include "toolkit/Exceptions.h"
#include "toolkit/GraphicStream.h"
#include "toolkit/Picture.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s input.bmp output.picture\n", argv[0]);
        return 2;
    }
    try {
        TPicture picture;
        picture.LoadFromFile(argv[1]);
        TMemoryStream stored;
        picture.WriteData(stored);
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(stored.Data().data()), std::streamsize(stored.Data().size()));
        if (!out) throw EWriteError(FormatMessage("Cannot write %s", argv[2]));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.what());
        return 1;
    }
    return 0;
}

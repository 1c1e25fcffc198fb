// Feeds arbitrary bytes to the bitmap readers. The first byte picks the
// entry point: stored data, a bitmap file, or a picture's stored form (which
// also reaches the device bitmap class). A picture that reads must write,
// read back and write the same bytes again, and draw without fault.
#include "render/DIB.h"
#include "toolkit/Exceptions.h"
#include "toolkit/GraphicStream.h"
#include "toolkit/Picture.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Exercise(TDIB& dib) {
    TMemoryStream stored;
    dib.WriteStored(stored);
    TDIB again;
    stored.SetPosition(0);
    again.ReadStored(stored);
    TMemoryStream storedAgain;
    again.WriteStored(storedAgain);
    if (storedAgain.Data() != stored.Data())
        std::abort();  // written data must read back as the same picture

    std::uint32_t pixels[16 * 16];
    dib.StretchToPixels(pixels, 16, 16, 16 * 4, TRect{-3, -2, 14, 17});
    dib.StretchToPixels(pixels, 16, 16, 16 * 4, TRect{12, 12, 1, 1});
    std::uint32_t sum = 0;
    for (int y = -1; y <= dib.Height() && y < 64; ++y)
        for (int x = -1; x <= dib.Width() && x < 64; ++x)
            sum += dib.GetPixel(x, y) + dib.PixelColor(x, y);
    (void)sum;
    dib.PaletteHandle();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = [] {
        RegisterRenderPictureClasses();
        // The window toolkit's bitmap reader warns about every bad colour
        // index of a damaged file; at fuzzing rates that drowns the log.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)registered;
    if (size == 0)
        return 0;
    TReadOnlyMemoryStream stream(data + 1, size - 1);
    try {
        switch (data[0] % 3) {
        case 0: {
            TDIB dib;
            dib.ReadStored(stream);
            Exercise(dib);
            break;
        }
        case 1: {
            TDIB dib;
            dib.ReadBitmapFile(stream);
            Exercise(dib);
            break;
        }
        default: {
            TPicture picture;
            picture.ReadData(stream);
            if (auto* dib = dynamic_cast<TDIB*>(picture.Graphic()))
                Exercise(*dib);
            else if (picture.Graphic() != nullptr) {
                TMemoryStream out;
                picture.WriteData(out);
            }
            break;
        }
        }
    } catch (const Exception&) {
        // Malformed input is reported by exception; that is the expected outcome.
    }
    return 0;
}

// Feeds arbitrary bytes to the JPEG picture. Data that decodes is encoded
// again, and the result must decode to a picture of the same size.
#include "toolkit/Exceptions.h"
#include "toolkit/JpegImage.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        TJPEGImage jpeg;
        jpeg.LoadFromData(data, size);
        if (jpeg.Width() * static_cast<long>(jpeg.Height()) > 1 << 20)
            return 0;  // re-encoding big pictures only slows the search down
        const auto encoded = TJPEGImage::Encode(jpeg.Image(), 75, false);
        const QImage back = TJPEGImage::Decode(encoded.data(), encoded.size());
        if (back.size() != jpeg.Image().size())
            std::abort();
    } catch (const Exception&) {
    }
    return 0;
}

// FIXME: placeholder reader until the real one lands.
#include "imaging/readers/readers.h"
#include "imaging/exceptions.h"

namespace quipix {
namespace {
class PlaceholderReader : public TFileFormatReader {
public:
    using TFileFormatReader::TFileFormatReader;
    void ReadImage(TPGStream&, TPixelGraphic&, int) override {
        throw EPixelGraphic("not built yet");
    }
};
}  // namespace

std::unique_ptr<TFileFormatReader> MakePCXReader() { return std::make_unique<PlaceholderReader>("pcx", "Paintbrush", false); }

}  // namespace quipix

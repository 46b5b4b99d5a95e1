// Loading a TPixelGraphic from a file or stream: the image is emptied, the registry
// picks a reader, a picture far larger than it is shown at is reduced, one with a
// colour profile is converted to sRGB, and pictures encoded with another gamma are
// corrected to the display gamma.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "imaging/color_profile.h"
#include "imaging/exceptions.h"
#include "imaging/file_format_reader.h"
#include "imaging/messages.h"
#include "imaging/pixel_graphic.h"
#include "imaging/readers/decode_support.h"
#include "imaging/stream.h"

namespace quipix {

std::string PictureFileExtension(const std::string& fileName) {
    std::string ext = std::filesystem::path(fileName).extension().string();
    if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::array<std::uint8_t, 256> GammaTable(double ratio) {
    if (!(ratio > 0) || !std::isfinite(ratio)) throw EPixelGraphic("Invalid Argument");
    std::array<std::uint8_t, 256> t{};
    t[0] = 0;
    t[255] = 255;
    for (int i = 1; i < 255; ++i) {
        const double v = std::nearbyint(255.0 * std::pow(i / 255.0, ratio));
        t[std::size_t(i)] = std::uint8_t(std::clamp(v, 0.0, 255.0));
    }
    return t;
}

void TPixelGraphic::LoadPictureFile(const std::string& fileName) {
    TPGFileStream stream(fileName);
    LoadFromStream(stream, PictureFileExtension(fileName), 0);
}

void TPixelGraphic::LoadPictureStream(TPGStream& stream) { LoadFromStream(stream, "", 0); }

void TPixelGraphic::LoadFromStream(TPGStream& stream, const std::string& extension, int index) {
    InitPixelGraphicLibrary();
    BeginUpdate();
    spare_.swap(buffer_);
    try {
        SetSize(0, 0, pgpf24Bit);
        Gamma = PGDisplayGamma;
        ColorProfile.clear();
        TFileFormatReader* reader = FindFileFormatReader(stream, extension);
        if (!reader) throw EPGUnknownFileFormat(GetPGLangStr(msg::UnknownFileFormat));
        reader->ReadImage(stream, *this, index);
        // Readers that cannot reduce while they decode leave it to here.
        decode::ReducePicture(*this, decode::ReductionFactor(Width(), Height(), ShownWidth, ShownHeight));
        ConvertToSRGB(*this, ColorProfile);
        std::vector<std::uint8_t>().swap(ColorProfile);

        if (PGGammaCorrection && std::fabs(Gamma / PGDisplayGamma - 1.0) > 0.05) {
            const auto t = GammaTable(Gamma / PGDisplayGamma);
            if (PixelFormat() != pgpf24Bit) {
                if (PaletteIdent() != pNone && PaletteIdent() != pTrueColor) {
                    for (int i = 0; i < PaletteCount(); ++i) {
                        const PGColor c = PaletteEntries(i);
                        SetPaletteEntries(i, PGRGB(t[PGRed(c)], t[PGGreen(c)], t[PGBlue(c)]));
                    }
                }
            } else if (Width() > 0) {
                const std::size_t rowBytes = std::size_t(Width()) * 3;
                for (int y = 0; y < Height(); ++y) {
                    std::uint8_t* row = ScanLine(y);
                    for (std::size_t i = 0; i < rowBytes; ++i) row[i] = t[row[i]];
                }
            }
        }
        Gamma = PGDisplayGamma;
        IdentifyPalette();
    } catch (...) {
        ColorProfile.clear();
        PixelBuffer().swap(spare_);
        EndUpdate();
        throw;
    }
    PixelBuffer().swap(spare_);
    EndUpdate();
}

}  // namespace quipix

// Format readers and their registry. A reader is chosen by the file's first bytes;
// only readers without a signature are chosen by the file's extension.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/pixel_graphic.h"
#include "imaging/stream.h"

namespace quipix {

struct TImageInfo {
    int Count = 1;
    int Bits = 0;
    std::string ColorText;
    int Height = 0;
    int Width = 0;
    std::string Info2;  // second info text
    std::string Info1;  // first info text, shown above the second
    // How reading turns the stored picture to show it upright: the EXIF and TIFF
    // Orientation value 1 to 8 (1: as stored).
    int Orientation = 1;
};

class TFileFormatReader {
public:
    // Readers of formats added to the classic set give dialogGroup 1: the open dialog
    // lists them after the classic ones, which keep the places users know.
    TFileFormatReader(std::string extension, std::string description, bool hasSignature, int dialogGroup = 0)
        : extension_(std::move(extension)),
          description_(std::move(description)),
          hasSignature_(hasSignature),
          dialogGroup_(dialogGroup) {}
    virtual ~TFileFormatReader() = default;

    const std::string& Extension() const { return extension_; }
    const std::string& Description() const { return description_; }
    bool HasSignature() const { return hasSignature_; }
    bool ListedInDialog() const { return true; }
    int DialogGroup() const { return dialogGroup_; }

    // header holds up to 17 first bytes of the file; fewer when the file is shorter.
    virtual bool IsSignature(std::span<const std::uint8_t> header) const;
    virtual void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) = 0;
    virtual TImageInfo GetImageInfo(TPGStream& stream, int index);

private:
    std::string extension_;
    std::string description_;
    bool hasSignature_;
    int dialogGroup_;
};

// The registered readers, in registration order until the first search sorts them.
std::vector<TFileFormatReader*>& PGFileFormatReaders();
// The open dialog's filter, "description|patterns|…": all listed extensions together,
// one entry per reader (by dialog group, then extension), then all files.
std::string PGDialogFilter();
TFileFormatReader* FindFileFormatReader(TPGStream& stream, std::string_view extension);
// A file name's extension, lower case, without its dot ("Photo.JPG" -> "jpg").
std::string PictureFileExtension(const std::string& fileName);
// The same search over a list of the caller's (sorted in place like the registry).
TFileFormatReader* FindFileFormatReader(std::vector<TFileFormatReader*>& readers, TPGStream& stream,
                                        std::string_view extension);

// The table a load applies when a picture's gamma differs from the display gamma:
// T(i) = Round(255 * (i / 255)^ratio). A ratio that is not positive and finite
// raises EPixelGraphic "Invalid Argument".
std::array<std::uint8_t, 256> GammaTable(double ratio);

// Library start-up: message table check, clamp table, reader registry. Runs once,
// thread-safe; every entry point of the library that needs it calls it.
void InitPixelGraphicLibrary();

// Reader registration, called once by InitPixelGraphicLibrary in this order:
// bmp dib rle jpg jpeg jif png pcx pbm pgm ppm tga tif tiff, then webp and gif
// where the build has them, then heic heif avif.
void RegisterBuiltInReaders(std::vector<TFileFormatReader*>& readers);

// Decoder warnings follow the image's ReadWarningAction. The boxes of pgwaOKBox and
// pgwaOKCancelBox go through this handler, which returns true for OK. No front end
// installs one (tests do); without a handler every box answers OK.
using WarningBoxHandler =
    std::function<bool(const std::string& caption, const std::string& text, bool withCancel)>;
void SetWarningBoxHandler(WarningBoxHandler handler);
// Applies action to a warning: returns normally to go on, or throws what raise(text)
// builds. caption e.g. "JPG Warning"; prefix e.g. "JPG: ".
void HandleReadWarning(TPGWarningAction action, const std::string& caption, const std::string& prefix,
                       const std::string& text, const std::function<void(const std::string&)>& raise);

}  // namespace quipix

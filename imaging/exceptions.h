// The picture library's exception family. Every failure of the library is one of
// these, carrying the exact message text from the message table.
#pragma once

#include <stdexcept>
#include <string>

namespace quipix {

class EPixelGraphic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

#define QUIPIX_PG_EXCEPTION(Name)           \
    class Name : public EPixelGraphic {     \
    public:                                 \
        using EPixelGraphic::EPixelGraphic; \
    }

QUIPIX_PG_EXCEPTION(EPGXYIndexOutOfRange);
QUIPIX_PG_EXCEPTION(EPGNoPalette);
QUIPIX_PG_EXCEPTION(EPGInvalidPaletteIndex);
QUIPIX_PG_EXCEPTION(EPGUnknownFileFormat);
QUIPIX_PG_EXCEPTION(EPGInvalidBitCountNum);
QUIPIX_PG_EXCEPTION(EPGInvalidSize);
QUIPIX_PG_EXCEPTION(EPGBMPFileFormatReader);
QUIPIX_PG_EXCEPTION(EPGJPGFileFormatReaderWriter);
QUIPIX_PG_EXCEPTION(EPGPNGFileFormatReaderWriter);
QUIPIX_PG_EXCEPTION(EPGPCXFileFormatReader);
QUIPIX_PG_EXCEPTION(EPGPxMFileFormatReader);
QUIPIX_PG_EXCEPTION(EPGTGAFileFormatReader);
QUIPIX_PG_EXCEPTION(EPGTIFFileFormatReader);
QUIPIX_PG_EXCEPTION(EPGWEBPFileFormatReader);
QUIPIX_PG_EXCEPTION(EPGGIFFileFormatReader);
QUIPIX_PG_EXCEPTION(EPGHEIFFileFormatReader);

#undef QUIPIX_PG_EXCEPTION

// The runtime's stream errors, which some readers let through unchanged.
class EReadError : public std::runtime_error {
public:
    EReadError() : std::runtime_error("Stream read error") {}
};

class EFOpenError : public std::runtime_error {
public:
    explicit EFOpenError(const std::string& fileName)
        : std::runtime_error("Cannot open file \"" + fileName + "\"") {}
};

}  // namespace quipix

// GIF reader over giflib's record-level decoder: the first image of the file, which
// for an animation is its first frame.
//
// The picture keeps the file's colour table as an 8-bit image. It has the logical
// screen's size (grown to hold the frame where a file declares a smaller screen); the
// frame is placed at its offset and the screen around it takes the transparent index
// when the frame has one, else the screen's background index. A transparent index
// is composited by giving its palette entry the picture's BackGroundColor: the
// picture stays 8-bit, and every other pixel keeps its exact colour.
//
// giflib reports errors by return codes, so no C++ exception ever crosses its frames:
// our read function keeps a failing stream's exception and rethrows it afterwards.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

#include <gif_lib.h>

#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/readers/decode_support.h"
#include "imaging/readers/readers.h"

namespace quipix {
namespace {

[[noreturn]] void Raise(const std::string& text) { throw EPGGIFFileFormatReader("GIF: " + text); }

struct Session {
    TPGStream& stream;
    GifFileType* gif = nullptr;
    std::exception_ptr pending;

    explicit Session(TPGStream& s) : stream(s) {}
    ~Session() {
        if (gif) DGifCloseFile(gif, nullptr);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Raises for giflib's last error: the stream's own exception, the end of the
    // data, or giflib's text.
    [[noreturn]] void Fail(int error) const {
        if (pending) std::rethrow_exception(pending);
        if (error == D_GIF_ERR_READ_FAILED || error == D_GIF_ERR_EOF_TOO_SOON)
            Raise(GetPGLangStr(msg::UnexpectedEndOfFile));
        const char* text = GifErrorString(error);
        Raise(text ? text : GetPGLangStr(msg::Failed, "GIF decoding"));
    }
    [[noreturn]] void Fail() const { Fail(gif ? gif->Error : D_GIF_ERR_READ_FAILED); }
};

int ReadData(GifFileType* gif, GifByteType* data, int length) {
    Session& s = *static_cast<Session*>(gif->UserData);
    if (s.pending || length <= 0) return 0;
    try {
        return int(s.stream.Read(data, std::size_t(length)));
    } catch (...) {
        s.pending = std::current_exception();
        return 0;
    }
}

void Open(Session& s) {
    int error = 0;
    s.gif = DGifOpen(&s, ReadData, &error);
    if (!s.gif) s.Fail(error);
}

// The first image's descriptor and the transparent index its graphic control
// extension gives (-1 for none). Extensions of other kinds are skipped.
int ReadUpToFirstImage(Session& s) {
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(s.gif, &type) == GIF_ERROR) s.Fail();
        if (type == TERMINATE_RECORD_TYPE) Raise(GetPGLangStr(msg::IsEmpty, "File"));
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(s.gif) == GIF_ERROR) s.Fail();
            return transparent;
        }
        // Anything else is an extension (giflib refuses unknown records).
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(s.gif, &code, &block) == GIF_ERROR) s.Fail();
        if (code == GRAPHICS_EXT_FUNC_CODE && block) {
            GraphicsControlBlock gcb;
            transparent = DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK ? gcb.TransparentColor : -1;
        }
        while (block)
            if (DGifGetExtensionNext(s.gif, &block) == GIF_ERROR) s.Fail();
    }
}

const ColorMapObject* FrameColorMap(const GifFileType* gif) {
    return gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
}

// Reads the frame's rows into the picture at its offset; interlaced files deliver
// every eighth row first, then the rows between. An abort keeps the rows read so
// far, as in the other readers.
void ReadFrame(Session& s, TPixelGraphic& image, const void* sender) {
    const GifImageDesc& d = s.gif->Image;
    if (d.Width == 0) return;  // giflib takes a line length of 0 as the frame's width
    const decode::ProgressScope progress(image);
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    const int passes = d.Interlace ? 4 : 1;
    int done = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const int step = d.Interlace ? kStep[pass] : 1;
        for (int y = d.Interlace ? kStart[pass] : 0; y < d.Height; y += step) {
            if (DGifGetLine(s.gif, image.ScanLine(d.Top + y) + d.Left, d.Width) == GIF_ERROR) s.Fail();
            if (image.Progress(sender, ++done, d.Height)) return;
        }
    }
}

// A frame may hold codes past its colour table (and a screen a background index past
// it): the palette grows to cover them, the new entries black like unused ones.
void CoverIndices(TPixelGraphic& image) {
    std::uint8_t top = 0;
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* row = image.ScanLine(y);
        top = std::max(top, *std::max_element(row, row + image.Width()));
    }
    if (top >= image.PaletteCount()) image.SetPaletteCount(top + 1);
}

void ReadGif(TPGStream& stream, TPixelGraphic& image, const void* sender) {
    // The colour transparent pixels take, read while the picture is still 24-bit.
    const PGColor back = image.BackGroundColor();
    Session s(stream);
    Open(s);
    const int transparent = ReadUpToFirstImage(s);
    const GifImageDesc& d = s.gif->Image;
    const ColorMapObject* map = FrameColorMap(s.gif);
    if (!map || map->ColorCount <= 0 || !map->Colors) Raise(GetPGLangStr(msg::NoPalette));
    const int width = std::max(s.gif->SWidth, d.Left + d.Width);
    const int height = std::max(s.gif->SHeight, d.Top + d.Height);
    if (width <= 0 || height <= 0) Raise(GetPGLangStr(msg::WidthOrHeightZero));
    // LZW at its best turns a 12-bit code into a string of about 4096 pixels.
    decode::CheckPictureSize(width, height, pgpf8Bit, std::int64_t(width) * height / 2731, stream.Remaining(),
                             Raise);

    image.SetSize(width, height, pgpf8Bit);
    image.SetPaletteCount(std::max(map->ColorCount, transparent + 1));
    for (int i = 0; i < map->ColorCount; ++i)
        image.SetPaletteEntries(i, PGRGB(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue));
    if (transparent >= 0) {
        image.SetPaletteEntries(transparent, back);
        image.SetBackGroundColor(back);
    }
    const bool covered = d.Left == 0 && d.Top == 0 && d.Width == width && d.Height == height;
    if (!covered) {
        const int fill = transparent >= 0 ? transparent : s.gif->SBackGroundColor;
        for (int y = 0; y < height; ++y) std::memset(image.ScanLine(y), fill, std::size_t(width));
    }
    // A frame that fails part way keeps the rows it has, readable like a whole one.
    try {
        ReadFrame(s, image, sender);
    } catch (...) {
        CoverIndices(image);
        throw;
    }
    CoverIndices(image);
}

class TGIFFileFormatReader : public TFileFormatReader {
public:
    TGIFFileFormatReader() : TFileFormatReader("gif", "Graphics Interchange Format", true, 1) {}

    bool IsSignature(std::span<const std::uint8_t> header) const override {
        return header.size() >= 6 &&
               (std::memcmp(header.data(), "GIF87a", 6) == 0 || std::memcmp(header.data(), "GIF89a", 6) == 0);
    }

    void ReadImage(TPGStream& stream, TPixelGraphic& image, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::Invalid, "Index"));
        image.Gamma = PGDisplayGamma;
        ReadGif(stream, image, this);
    }

    TImageInfo GetImageInfo(TPGStream& stream, int index) override {
        if (index != 0) Raise(GetPGLangStr(msg::InvalidValueFor, "Index"));
        char version[6] = {};
        const std::int64_t start = stream.Position();
        decode::ReadPadded(stream, version, sizeof version);
        stream.Seek(start);
        Session s(stream);
        Open(s);
        const int transparent = ReadUpToFirstImage(s);
        const GifImageDesc& d = s.gif->Image;
        const ColorMapObject* map = FrameColorMap(s.gif);
        TImageInfo info;
        info.Width = std::max(s.gif->SWidth, d.Left + d.Width);
        info.Height = std::max(s.gif->SHeight, d.Top + d.Height);
        info.Bits = map ? map->BitsPerPixel : 8;
        info.ColorText = decode::Pow2Text(info.Bits);
        info.Info1 = std::string(version, 6);
        if (d.Interlace) info.Info1 += ", interlaced";
        if (transparent >= 0) info.Info1 += ", transparent";
        return info;
    }
};

}  // namespace

std::unique_ptr<TFileFormatReader> MakeGIFReader() { return std::make_unique<TGIFFileFormatReader>(); }

}  // namespace quipix

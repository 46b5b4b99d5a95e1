#include "imaging/picture_preview.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "imaging/file_format_reader.h"
#include "imaging/messages.h"
#include "imaging/stream.h"

namespace quipix {

namespace {

std::string InfoSizeLine(const TImageInfo& info) {
    std::string line = std::to_string(info.Width) + "x" + std::to_string(info.Height) + "x" + info.ColorText +
                       " " + std::to_string(info.Bits) + " " + GetPGLangStr(msg::Bit);
    if (info.Count > 1) line += ", " + std::to_string(info.Count);
    return line;
}

}  // namespace

void MakePicturePreview(PicturePreview& preview, const std::string& path, int width, int height,
                        TStretchMode stretchMode) {
    preview.Picture.SetSize(0, 0, pgpf24Bit);
    preview.Lines.clear();
    try {
        TPixelGraphic source;
        source.ReadWarningAction = pgwaIgnore;
        source.ShownWidth = width;
        source.ShownHeight = height;
        source.LoadPictureFile(path);
        if (source.Width() > 0 && source.Height() > 0) {
            int w = width, h = int(std::int64_t(source.Height()) * width / source.Width());
            if (h > height) {
                h = height;
                w = int(std::int64_t(source.Width()) * height / source.Height());
            }
            preview.Picture.StretchMode = stretchMode;
            preview.Picture.SetSize(std::max(w, 1), std::max(h, 1), pgpf24Bit);
            preview.Picture.AssignStretched(source);
        }
    } catch (const std::exception&) {
        // A file no reader can read shows no picture.
        preview.Picture.SetSize(0, 0, pgpf24Bit);
    }
    try {
        TPGFileStream stream(path);
        if (TFileFormatReader* reader = FindFileFormatReader(stream, PictureFileExtension(path))) {
            const TImageInfo info = reader->GetImageInfo(stream, 0);
            for (const std::string& line :
                 {reader->Description(), info.Info1, info.Info2, InfoSizeLine(info)})
                if (!line.empty()) preview.Lines.push_back(line);
        }
    } catch (const std::exception&) {
        // No information for a file its reader rejects.
        preview.Lines.clear();
    }
}

}  // namespace quipix

// What a picture open dialog shows of the selected file, whatever toolkit draws it:
// the picture fitted into the preview area, and its information lines.
#pragma once

#include <string>
#include <vector>

#include "imaging/pixel_graphic.h"

namespace quipix {

struct PicturePreview {
    TPixelGraphic Picture;           // 24 bits, empty when no reader could load the file
    std::vector<std::string> Lines;  // the reader's description, info texts, size line; none empty
};

// Fills preview for the file at path, scaled to fit width x height keeping its shape.
void MakePicturePreview(PicturePreview& preview, const std::string& path, int width, int height,
                        TStretchMode stretchMode);

}  // namespace quipix

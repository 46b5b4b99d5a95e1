// The built-in readers in their registration order.
#include <memory>
#include <vector>

#include "imaging/readers/readers.h"

namespace quipix {

void RegisterBuiltInReaders(std::vector<TFileFormatReader*>& readers) {
    // The registry lives for the whole process, so the readers are never freed.
    static std::vector<std::unique_ptr<TFileFormatReader>> owned;
    owned.push_back(MakeBMPReader("bmp"));
    owned.push_back(MakeBMPReader("dib"));
    owned.push_back(MakeBMPReader("rle"));
    owned.push_back(MakeJPGReader("jpg"));
    owned.push_back(MakeJPGReader("jpeg"));
    owned.push_back(MakeJPGReader("jif"));
    owned.push_back(MakePNGReader());
    owned.push_back(MakePCXReader());
    owned.push_back(MakePxMReader("pbm"));
    owned.push_back(MakePxMReader("pgm"));
    owned.push_back(MakePxMReader("ppm"));
    owned.push_back(MakeTGAReader());
    owned.push_back(MakeTIFReader("tif"));
    owned.push_back(MakeTIFReader("tiff"));
#ifdef QUIPIX_HAVE_WEBP
    owned.push_back(MakeWEBPReader());
#endif
#ifdef QUIPIX_HAVE_GIF
    owned.push_back(MakeGIFReader());
#endif
    for (const char* extension : {"heic", "heif", "avif"}) owned.push_back(MakeHEIFReader(extension));
    for (auto& r : owned) readers.push_back(r.get());
}

}  // namespace quipix

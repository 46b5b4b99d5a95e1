#include "imaging/color_profile.h"

#include <memory>
#include <vector>

#ifdef QUIPIX_HAVE_LCMS2
#include <lcms2.h>
#endif

namespace quipix {

#ifdef QUIPIX_HAVE_LCMS2

namespace {

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

}  // namespace

void ConvertToSRGB(TPixelGraphic& image, std::span<const std::uint8_t> profile) {
    if (profile.empty() || image.Empty()) return;
    // A damaged profile is the file's fault, not the user's: nothing is printed.
    cmsSetLogErrorHandler(nullptr);
    const Profile in(cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size())));
    if (!in || cmsGetColorSpace(in.get()) != cmsSigRgbData) return;
    const Profile out(cmsCreate_sRGBProfile());
    if (!out) return;
    const std::unique_ptr<void, TransformDeleter> transform(
        cmsCreateTransform(in.get(), TYPE_BGR_8, out.get(), TYPE_BGR_8, INTENT_PERCEPTUAL, 0));
    if (!transform) return;
    if (image.PixelFormat() == pgpf24Bit) {
        for (int y = 0; y < image.Height(); ++y)
            cmsDoTransform(transform.get(), image.ScanLine(y), image.ScanLine(y),
                           cmsUInt32Number(image.Width()));
        return;
    }
    std::vector<std::uint8_t> bgr;
    for (int i = 0; i < image.PaletteCount(); ++i) {
        const PGColor c = image.PaletteEntries(i);
        bgr.insert(bgr.end(), {std::uint8_t(PGBlue(c)), std::uint8_t(PGGreen(c)), std::uint8_t(PGRed(c))});
    }
    cmsDoTransform(transform.get(), bgr.data(), bgr.data(), cmsUInt32Number(image.PaletteCount()));
    for (int i = 0; i < image.PaletteCount(); ++i)
        image.SetPaletteEntries(
            i, PGRGB(bgr[std::size_t(i) * 3 + 2], bgr[std::size_t(i) * 3 + 1], bgr[std::size_t(i) * 3]));
}

#else

void ConvertToSRGB(TPixelGraphic&, std::span<const std::uint8_t>) {}

#endif

}  // namespace quipix

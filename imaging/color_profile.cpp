#include "imaging/color_profile.h"

#include <array>
#include <memory>

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
struct CurveDeleter {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;

// Runs convert over n blue-green-red pixels in place: every row of a 24-bit picture,
// or the palette of another.
template <typename Convert>
void ConvertPixels(TPixelGraphic& image, Convert convert) {
    if (image.PixelFormat() == pgpf24Bit) {
        for (int y = 0; y < image.Height(); ++y) convert(image.ScanLine(y), image.Width());
        return;
    }
    std::vector<std::uint8_t> bgr;
    for (int i = 0; i < image.PaletteCount(); ++i) {
        const PGColor c = image.PaletteEntries(i);
        bgr.insert(bgr.end(), {std::uint8_t(PGBlue(c)), std::uint8_t(PGGreen(c)), std::uint8_t(PGRed(c))});
    }
    convert(bgr.data(), image.PaletteCount());
    for (int i = 0; i < image.PaletteCount(); ++i)
        image.SetPaletteEntries(
            i, PGRGB(bgr[std::size_t(i) * 3 + 2], bgr[std::size_t(i) * 3 + 1], bgr[std::size_t(i) * 3]));
}

}  // namespace

void ConvertToSRGB(TPixelGraphic& image, std::span<const std::uint8_t> profile) {
    if (profile.empty() || image.Empty()) return;
    // A damaged profile is the file's fault, not the user's: nothing is printed.
    cmsSetLogErrorHandler(nullptr);
    const Profile in(cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size())));
    const Profile out(cmsCreate_sRGBProfile());
    if (!in || !out) return;
    const cmsColorSpaceSignature space = cmsGetColorSpace(in.get());
    if (space == cmsSigRgbData) {
        const Transform transform(
            cmsCreateTransform(in.get(), TYPE_BGR_8, out.get(), TYPE_BGR_8, INTENT_PERCEPTUAL, 0));
        if (!transform) return;
        ConvertPixels(image, [&](std::uint8_t* bgr, int n) {
            cmsDoTransform(transform.get(), bgr, bgr, cmsUInt32Number(n));
        });
    } else if (space == cmsSigGrayData) {
        // A grey profile is a tone curve; grey pixels come out grey in sRGB, so every
        // channel takes the table of its 256 values (green, the largest share of sRGB
        // luminance, stands for all three).
        const Transform transform(
            cmsCreateTransform(in.get(), TYPE_GRAY_8, out.get(), TYPE_RGB_8, INTENT_PERCEPTUAL, 0));
        if (!transform) return;
        std::array<std::uint8_t, 256> grey{};
        std::array<std::uint8_t, 256 * 3> rgb{};
        for (std::size_t v = 0; v < grey.size(); ++v) grey[v] = std::uint8_t(v);
        cmsDoTransform(transform.get(), grey.data(), rgb.data(), cmsUInt32Number(grey.size()));
        for (std::size_t v = 0; v < grey.size(); ++v) grey[v] = rgb[v * 3 + 1];
        ConvertPixels(image, [&](std::uint8_t* bgr, int n) {
            for (std::size_t i = 0; i < std::size_t(n) * 3; ++i) bgr[i] = grey[bgr[i]];
        });
    }
}

std::vector<std::uint8_t> MakeRGBProfile(const RGBSpace& space) {
    // Each curve as lcms's parametric type 4: (a x + b)^g from x = d, c x below.
    struct Parameters {
        double g, a, b, c, d;
    };
    static constexpr Parameters kCurves[] = {
        {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045},   // sRGB
        {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081},  // BT.709, BT.601, BT.2020
        {1.0, 1, 0, 0, 0},
        {2.2, 1, 0, 0, 0},
        {2.8, 1, 0, 0, 0},
    };
    const Parameters& p = kCurves[int(space.curve)];
    const double parameters[] = {p.g, p.a, p.b, p.c, p.d};
    const std::unique_ptr<cmsToneCurve, CurveDeleter> curve(
        cmsBuildParametricToneCurve(nullptr, 4, parameters));
    if (!curve) return {};
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    const cmsCIExyY white = {space.white[0], space.white[1], 1};
    const cmsCIExyYTRIPLE primaries = {{space.red[0], space.red[1], 1},
                                       {space.green[0], space.green[1], 1},
                                       {space.blue[0], space.blue[1], 1}};
    const Profile profile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size)) return {};
    std::vector<std::uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) return {};
    return bytes;
}

#else

void ConvertToSRGB(TPixelGraphic&, std::span<const std::uint8_t>) {}

std::vector<std::uint8_t> MakeRGBProfile(const RGBSpace&) { return {}; }

#endif

}  // namespace quipix

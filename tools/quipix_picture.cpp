// quipix-picture: looks at, converts and times pictures through the picture library's
// reader registry.
//   quipix-picture info FILE
//   quipix-picture convert [--warnings ignore|raise] FILE OUT   (OUT: .ppm or .png)
//   quipix-picture bench [--reps N] FILE...
// Every failure is reported as a message and an exit code; no input makes it crash.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <png.h>

#include "imaging/file_format_reader.h"
#include "imaging/messages.h"
#include "imaging/orientation.h"
#include "imaging/pixel_graphic.h"
#include "imaging/stream.h"

namespace quipix::picture_tool {

namespace {

int Usage(std::ostream& err) {
    err << "usage: quipix-picture info FILE\n"
           "       quipix-picture convert [--warnings ignore|raise] FILE OUT.ppm|OUT.png\n"
           "       quipix-picture bench [--reps N] FILE...\n";
    return 2;
}

int Info(const std::string& fileName, std::ostream& out, std::ostream& err) {
    InitPixelGraphicLibrary();
    TPGFileStream stream(fileName);
    TFileFormatReader* reader = FindFileFormatReader(stream, PictureFileExtension(fileName));
    if (!reader) {
        err << GetPGLangStr(msg::UnknownFileFormat) << "\n";
        return 1;
    }
    const TImageInfo info = reader->GetImageInfo(stream, 0);
    out << "format: " << reader->Description() << "\n"
        << "width: " << info.Width << "\n"
        << "height: " << info.Height << "\n"
        << "bits: " << info.Bits << "\n"
        << "colors: " << info.ColorText << "\n"
        << "info1: " << info.Info1 << "\n"
        << "info2: " << info.Info2 << "\n"
        << "orientation: " << OrientationText(info.Orientation) << "\n";
    return 0;
}

// The picture as 8-bit red, green, blue samples, top row first.
std::vector<std::uint8_t> RgbPixels(const TPixelGraphic& image) {
    const int w = image.Width(), h = image.Height();
    std::vector<std::uint8_t> rgb(std::size_t(w) * std::size_t(h) * 3);
    const std::vector<PGColor>& palette = image.Palette();
    std::uint8_t* out = rgb.data();
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = image.ScanLine(y);
        for (int x = 0; x < w; ++x, out += 3) {
            if (image.PixelFormat() == pgpf24Bit) {
                out[0] = row[3 * x + 2];
                out[1] = row[3 * x + 1];
                out[2] = row[3 * x];
                continue;
            }
            unsigned v;
            switch (image.PixelFormat()) {
            case pgpf1Bit:
                v = (row[x / 8] >> (7 - x % 8)) & 1;
                break;
            case pgpf4Bit:
                v = (x % 2 == 0) ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
                break;
            default:
                v = row[x];
                break;
            }
            // An index past the palette shows black rather than reading past it.
            const PGColor c = v < palette.size() ? palette[v] : 0;
            out[0] = std::uint8_t(PGRed(c));
            out[1] = std::uint8_t(PGGreen(c));
            out[2] = std::uint8_t(PGBlue(c));
        }
    }
    return rgb;
}

bool WritePpm(const std::string& name, int w, int h, const std::vector<std::uint8_t>& rgb) {
    std::ofstream f(name, std::ios::binary);
    f << "P6\n" << w << " " << h << "\n255\n";
    f.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(rgb.size()));
    return bool(f);
}

// Written with the classic interface: no colour-space chunks, so reading the file
// back gives the same samples (the simple interface would add an sRGB chunk).
bool WritePngRows(std::FILE* file, int w, int h, const std::uint8_t* rgb) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, rgb + std::size_t(y) * std::size_t(w) * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool WritePng(const std::string& name, int w, int h, const std::vector<std::uint8_t>& rgb) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) return false;
    const bool ok = WritePngRows(file, w, h, rgb.data());
    return std::fclose(file) == 0 && ok;
}

int Convert(const std::vector<std::string>& args, std::ostream& err) {
    TPGWarningAction action = pgwaRaise;
    std::size_t i = 0;
    if (i < args.size() && args[i] == "--warnings") {
        if (i + 1 >= args.size()) return Usage(err);
        if (args[i + 1] == "ignore")
            action = pgwaIgnore;
        else if (args[i + 1] != "raise")
            return Usage(err);
        i += 2;
    }
    if (args.size() - i != 2) return Usage(err);
    const std::string& in = args[i];
    const std::string& outName = args[i + 1];
    const std::string outExt = PictureFileExtension(outName);
    if (outExt != "ppm" && outExt != "png") return Usage(err);

    TPixelGraphic image;
    image.ReadWarningAction = action;
    image.LoadPictureFile(in);
    if (image.Width() <= 0 || image.Height() <= 0) {
        err << GetPGLangStr(msg::IsEmpty, in) << "\n";
        return 1;
    }
    const auto rgb = RgbPixels(image);
    const bool written = outExt == "ppm" ? WritePpm(outName, image.Width(), image.Height(), rgb)
                                         : WritePng(outName, image.Width(), image.Height(), rgb);
    if (!written) {
        err << "Cannot write \"" << outName << "\"\n";
        return 1;
    }
    return 0;
}

int Bench(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    int reps = 7;
    std::size_t i = 0;
    if (i < args.size() && args[i] == "--reps") {
        if (i + 1 >= args.size()) return Usage(err);
        try {
            reps = std::stoi(args[i + 1]);
        } catch (const std::exception&) {
            return Usage(err);
        }
        if (reps < 1) return Usage(err);
        i += 2;
    }
    if (i >= args.size()) return Usage(err);
    int status = 0;
    for (; i < args.size(); ++i) {
        const std::string& name = args[i];
        try {
            const std::vector<std::uint8_t> bytes = ReadWholeFile(name);
            const std::string ext = PictureFileExtension(name);
            std::vector<double> times;
            TPixelGraphic image;
            image.ReadWarningAction = pgwaIgnore;  // time the decode, not a warning box
            for (int r = 0; r < reps; ++r) {
                TPGMemoryStream stream(bytes);
                const auto start = std::chrono::steady_clock::now();
                image.LoadFromStream(stream, ext, 0);
                const auto end = std::chrono::steady_clock::now();
                times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
            }
            std::sort(times.begin(), times.end());
            char line[160];
            std::snprintf(line, sizeof line, "%dx%d %d bit, median %.3f ms, min %.3f ms", image.Width(),
                          image.Height(), PixelFormatBits(image.PixelFormat()), times[times.size() / 2],
                          times.front());
            out << name << ": " << line << "\n";
        } catch (const std::exception& e) {
            err << name << ": " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}

}  // namespace

int Run(int argc, char** argv, std::ostream& out, std::ostream& err) {
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    if (args.empty()) return Usage(err);
    const std::string command = args.front();
    args.erase(args.begin());
    try {
        if (command == "info" && args.size() == 1) return Info(args[0], out, err);
        if (command == "convert") return Convert(args, err);
        if (command == "bench") return Bench(args, out, err);
    } catch (const std::exception& e) {
        err << e.what() << "\n";
        return 1;
    } catch (...) {
        err << "Unknown error\n";
        return 1;
    }
    return Usage(err);
}

}  // namespace quipix::picture_tool

#ifndef QUIPIX_PICTURE_TOOL_NO_MAIN
int main(int argc, char** argv) { return quipix::picture_tool::Run(argc, argv, std::cout, std::cerr); }
#endif

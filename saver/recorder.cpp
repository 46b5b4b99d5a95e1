// --record: the animation engine on an offscreen host, with the current settings,
// writing every K-th frame to an animated GIF (giflib) or a folder of PNG files.
// The GIF shows a frame that repeats (the pause after the answer) once, for longer.
// The pause's ticks are recorded without being run: the engine says they only wait.
#include "saver/recorder.h"

#include <gif_lib.h>
#include <png.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "imaging/text_engine.h"
#include "platform/platform.h"
#include "saver/engine.h"

namespace quipix {

namespace {

// Recording sizes beyond this are refused rather than allocated.
constexpr int kMaxSide = 16384;
// Without --ticks the run stops after one joke; this bounds a machine that never
// comes back to its first state.
constexpr long kMaxTicks = 1000000;

// Keeps a copy of what it shows, which the frame writers take as it is.
class OffscreenHost : public SceneHost {
public:
    OffscreenHost(int w, int h) : w_(w), h_(h) {}
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    int ScreenWidth() const override { return w_; }
    int ScreenHeight() const override { return h_; }
    int ColorDepth() const override { return 24; }
    bool IsPreview() const override { return false; }
    void StartTimer(int) override { running_ = true; }
    void StopAndClose() override { running_ = false; }
    void ShowPicture(const TPixelGraphic* picture) override {
        if (!picture) {
            shown_.reset();
            return;
        }
        if (!shown_) shown_ = std::make_unique<TPixelGraphic>();
        shown_->CopyPicture(picture);
    }
    TPixelGraphic* ShownPicture() override { return shown_.get(); }
    bool Running() const { return running_; }

private:
    int w_, h_;
    bool running_ = false;
    std::unique_ptr<TPixelGraphic> shown_;
};

// The message of a file that could not be written: its path and the system's reason,
// else the library's.
std::string CannotWrite(const std::string& path, int systemError, const std::string& libraryReason) {
    return "Cannot write " + path + ": " + (systemError != 0 ? std::strerror(systemError) : libraryReason);
}

std::string GifReason(int error) {
    const char* text = GifErrorString(error);
    return text ? text : "GIF error " + std::to_string(error);
}

class FrameWriter {
public:
    virtual ~FrameWriter() = default;
    virtual void Add(const TPixelGraphic& frame) = 0;
    // Adds frame n times over.
    virtual void Repeat(const TPixelGraphic& frame, long n) {
        for (; n > 0; --n) Add(frame);
    }
    virtual void Finish() {}
    // Removes what was written: a recording that failed leaves nothing half made.
    virtual void Discard() = 0;
    int Written() const { return written_; }  // frames in the file so far

protected:
    int written_ = 0;
};

// An 8-bit picture and its palette for a frame: palette frames as they are, true
// colour frames reduced to an optimized 256-colour palette with dithering.
const TPixelGraphic& PaletteFrame(const TPixelGraphic& frame, TPixelGraphic& scratch) {
    if (frame.PixelFormat() == pgpf8Bit && frame.PaletteCount() > 0) return frame;
    scratch.SetSize(frame.Width(), frame.Height(), pgpf8Bit);
    scratch.CreateOptimizedPalette(frame, 256, false);
    scratch.AssignStretched(frame);
    return scratch;
}

class GifWriter : public FrameWriter {
public:
    GifWriter(const std::string& path, int w, int h, int delayCentiseconds)
        : path_(path), w_(w), h_(h), delay_(delayCentiseconds) {
        int error = 0;
        errno = 0;
        gif_ = EGifOpenFileName(path.c_str(), false, &error);
        if (!gif_) throw std::runtime_error(CannotWrite(path, errno, GifReason(error)));
        try {
            EGifSetGifVersion(gif_, true);
            Check(EGifPutScreenDesc(gif_, w, h, 8, 0, nullptr));
            // Loop for ever.
            static const GifByteType app[] = "NETSCAPE2.0";
            static const GifByteType loop[] = {1, 0, 0};
            Check(EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE));
            Check(EGifPutExtensionBlock(gif_, 11, app));
            Check(EGifPutExtensionBlock(gif_, 3, loop));
            Check(EGifPutExtensionTrailer(gif_));
        } catch (...) {
            Discard();
            throw;
        }
    }
    ~GifWriter() override {
        if (gif_) EGifCloseFile(gif_, nullptr);
    }
    void Add(const TPixelGraphic& frame) override {
        if (pendingDelay_ > 0 && pendingDelay_ + delay_ <= kMaxDelay && SameFrame(frame, pending_)) {
            pendingDelay_ += delay_;
            return;
        }
        WritePending();
        pending_.CopyPicture(&frame);
        pendingDelay_ = delay_;
    }
    void Repeat(const TPixelGraphic& frame, long n) override {
        if (n <= 0) return;
        Add(frame);
        // The frame is the pending one now: each repeat only lengthens it.
        for (; n > 1; --n) {
            if (pendingDelay_ + delay_ > kMaxDelay) {
                Write(pending_, pendingDelay_);
                pendingDelay_ = 0;
            }
            pendingDelay_ += delay_;
        }
    }
    void Finish() override {
        WritePending();
        int error = 0;
        errno = 0;
        const int rc = EGifCloseFile(gif_, &error);
        gif_ = nullptr;
        if (rc != GIF_OK) throw std::runtime_error(CannotWrite(path_, errno, GifReason(error)));
    }
    void Discard() override {
        if (gif_) EGifCloseFile(gif_, nullptr);
        gif_ = nullptr;
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }

private:
    static constexpr int kMaxDelay = 65535;  // the field's 16 bits, in hundredths

    static bool SameFrame(const TPixelGraphic& a, const TPixelGraphic& b) {
        return a.Width() == b.Width() && a.Height() == b.Height() && a.PixelFormat() == b.PixelFormat() &&
               a.Palette() == b.Palette() && a.BufferSize() == b.BufferSize() &&
               std::memcmp(a.Buffer(), b.Buffer(), a.BufferSize()) == 0;
    }
    void WritePending() {
        if (pendingDelay_ == 0) return;
        Write(pending_, pendingDelay_);
        pendingDelay_ = 0;
    }
    void Write(const TPixelGraphic& frame, int delay) {
        const TPixelGraphic& p = PaletteFrame(frame, scratch_);
        GifColorType colors[256] = {};
        for (int i = 0; i < p.PaletteCount() && i < 256; ++i) {
            const PGColor c = p.PaletteEntries(i);
            colors[i] = GifColorType{GifByteType(PGRed(c)), GifByteType(PGGreen(c)), GifByteType(PGBlue(c))};
        }
        ColorMapObject* map = GifMakeMapObject(256, colors);
        if (!map) throw std::runtime_error("GIF: out of memory");
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT;
        gcb.DelayTime = delay;
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        errno = 0;
        int rc = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        if (rc == GIF_OK) rc = EGifPutImageDesc(gif_, 0, 0, w_, h_, false, map);
        for (int y = 0; rc == GIF_OK && y < h_; ++y)
            rc = EGifPutLine(gif_, const_cast<GifPixelType*>(p.ScanLine(y)), w_);
        GifFreeMapObject(map);
        Check(rc);
        ++written_;
    }
    void Check(int rc) {
        if (rc != GIF_OK) throw std::runtime_error(CannotWrite(path_, errno, GifReason(gif_->Error)));
    }
    std::string path_;
    GifFileType* gif_ = nullptr;
    int w_, h_, delay_;
    TPixelGraphic scratch_;
    TPixelGraphic pending_;  // the last frame, written when a different one comes
    int pendingDelay_ = 0;
};

// What libpng reports of a failure, kept for the message: its text and the system's
// reason at that moment.
struct PngFailure {
    std::string reason = "out of memory";
    int systemError = 0;
};

void PngError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    failure->systemError = errno;
    failure->reason = message;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void WritePng(const std::string& path, const TPixelGraphic& frame) {
    const int w = frame.Width(), h = frame.Height();
    std::vector<png_byte> row(std::size_t(w) * 3);
    errno = 0;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error(CannotWrite(path, errno, "cannot be created"));
    PngFailure failure;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, PngError, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        throw std::runtime_error(CannotWrite(path, failure.systemError, failure.reason));
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* s = frame.ScanLine(y);
        if (frame.PixelFormat() == pgpf24Bit) {
            for (int x = 0; x < w; ++x) {
                row[std::size_t(x) * 3] = s[x * 3 + 2];
                row[std::size_t(x) * 3 + 1] = s[x * 3 + 1];
                row[std::size_t(x) * 3 + 2] = s[x * 3];
            }
        } else {
            for (int x = 0; x < w; ++x) {
                const PGColor c = frame.Pixels(x, y);
                row[std::size_t(x) * 3] = png_byte(PGRed(c));
                row[std::size_t(x) * 3 + 1] = png_byte(PGGreen(c));
                row[std::size_t(x) * 3 + 2] = png_byte(PGBlue(c));
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    errno = 0;
    if (std::fclose(file) != 0) throw std::runtime_error(CannotWrite(path, errno, "cannot be closed"));
}

class PngFolderWriter : public FrameWriter {
public:
    explicit PngFolderWriter(std::string folder) : folder_(std::move(folder)) {
        std::error_code ec;
        made_ = std::filesystem::create_directories(folder_, ec);
        if (ec) throw std::runtime_error("Cannot create " + folder_ + ": " + ec.message());
    }
    void Add(const TPixelGraphic& frame) override {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05d.png", ++written_);
        WritePng((std::filesystem::path(folder_) / name).string(), frame);
    }
    void Discard() override {
        std::error_code ec;
        for (; written_ > 0; --written_) {
            char name[32];
            std::snprintf(name, sizeof name, "frame-%05d.png", written_);
            std::filesystem::remove(std::filesystem::path(folder_) / name, ec);
        }
        if (made_) std::filesystem::remove(folder_, ec);  // only when empty again
    }

private:
    std::string folder_;
    bool made_ = false;  // the folder is the recording's own
};

bool ParseInt(const std::string& text, long low, long high, long& value) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end && value >= low && value <= high;
}

bool ParseSize(const std::string& text, int& w, int& h) {
    const auto x = text.find_first_of("xX");
    long a = 0, b = 0;
    if (x == std::string::npos || !ParseInt(text.substr(0, x), 1, kMaxSide, a) ||
        !ParseInt(text.substr(x + 1), 1, kMaxSide, b))
        return false;
    w = int(a);
    h = int(b);
    return true;
}

bool EndsWithGif(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".gif";
}

int Usage(const std::string& problem) {
    std::cerr << "quipix: " << problem << "\n"
              << "usage: quipix --record PATH [--size WxH] [--ticks N] [--every K]\n";
    return 2;
}

}  // namespace

int RunRecorder(const std::vector<std::string>& args) {
    if (args.empty() || args[0].rfind("--", 0) == 0) return Usage("--record needs a PATH");
    const std::string path = args[0];
    const platform::ScreenInfo screen = platform::PrimaryScreen();
    int w = screen.Width, h = screen.Height;
    long ticks = 0, every = 1;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) return Usage(a + " needs a value");
        const std::string& v = args[++i];
        if (a == "--size") {
            if (!ParseSize(v, w, h)) return Usage("bad size " + v);
        } else if (a == "--ticks") {
            if (!ParseInt(v, 1, kMaxTicks, ticks)) return Usage("bad tick count " + v);
        } else if (a == "--every") {
            if (!ParseInt(v, 1, kMaxTicks, every)) return Usage("bad frame step " + v);
        } else {
            return Usage("unknown option " + a);
        }
    }
    if (!CurrentTextEngine()) {
        std::cerr << "quipix: recording needs a text engine\n";
        return 1;
    }

    std::unique_ptr<FrameWriter> writer;
    try {
        OffscreenHost host(w, h);
        TSaverEngine engine(host);
        engine.SetUpScene();
        // GIF delays are in hundredths of a second, ticks in milliseconds.
        if (EndsWithGif(path))
            writer = std::make_unique<GifWriter>(path, w, h,
                                                 int(std::min(every * kFullScreenTickMs / 10, 65535L)));
        else
            writer = std::make_unique<PngFolderWriter>(path);

        long kept = 0;
        bool jokeShown = false;
        const long limit = ticks > 0 ? ticks : kMaxTicks;
        for (long tick = 1; tick <= limit; ++tick) {
            if (engine.AnimationState() == TSaverEngine::QuestionSlides) jokeShown = true;
            engine.Timer1Timer();
            if (!host.Running()) throw std::runtime_error("the animation stopped on an error");
            if (tick % every == 0 && host.ShownPicture()) {
                writer->Add(*host.ShownPicture());
                ++kept;
            }
            // One whole joke: back to a new joke after the fade that follows it.
            if (ticks == 0 && jokeShown && engine.AnimationState() == TSaverEngine::NewJoke) break;
            // Ticks that only wait show this frame again; each is recorded all the same.
            const long idle = std::min<long>(engine.IdleTicks(), limit - tick);
            if (idle > 0) {
                const long frames = (tick + idle) / every - tick / every;
                if (frames > 0 && host.ShownPicture()) {
                    writer->Repeat(*host.ShownPicture(), frames);
                    kept += frames;
                }
                engine.SkipIdleTicks(int(idle));
                tick += idle;
            }
        }
        writer->Finish();
        std::cout << "Recorded " << kept << " ticks as " << writer->Written() << " frames of " << w << "x"
                  << h << " to " << path << "\n";
        return 0;
    } catch (const std::exception& e) {
        if (writer) writer->Discard();
        std::cerr << "quipix: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace quipix

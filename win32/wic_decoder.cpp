// WIC decodes the first frame; its rows are taken as 32-bit BGRA, whatever the file
// holds, so that transparency is flattened onto the background as the other readers
// do, and reduced as they arrive. WIC hands the pixels as stored and reports the
// container's turn as System.Photo.Orientation, the same for HEIF as for a JPEG's
// EXIF, so the turn is applied here. Colour profiles are not read: the pixels are taken
// as sRGB.
#include "win32/wic_decoder.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "imaging/messages.h"
#include "imaging/orientation.h"
#include "imaging/readers/decode_support.h"

namespace quipix::win32 {
namespace {

// Owns one reference to a COM object.
template <class T>
class Com {
public:
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() {
        if (p_) p_->Release();
    }
    T** put() { return &p_; }
    T* get() const { return p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

// A failed call; WINCODEC_ERR_COMPONENTNOTFOUND at any step means the system lacks
// the codec (the HEIF extension without the HEVC one fails only at the frame).
struct Failure {
    HRESULT result;
};

void Check(HRESULT result) {
    if (FAILED(result)) throw Failure{result};
}

[[noreturn]] void RaiseSize(const std::string& message) { throw std::runtime_error(message); }

// COM for this call on a thread that has none yet; a thread that has it keeps its own.
class ComScope {
public:
    ComScope() : owned_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComScope() {
        if (owned_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool owned_;
};

int Orientation(IWICBitmapFrameDecode* frame) {
    Com<IWICMetadataQueryReader> query;
    if (FAILED(frame->GetMetadataQueryReader(query.put()))) return 1;
    PROPVARIANT value;
    PropVariantInit(&value);
    int orientation = 1;
    if (SUCCEEDED(query->GetMetadataByName(L"System.Photo.Orientation", &value)) && value.vt == VT_UI2 &&
        ValidOrientation(value.uiVal))
        orientation = value.uiVal;
    PropVariantClear(&value);
    return orientation;
}

void Decode(std::span<const std::uint8_t> file, TPixelGraphic& image) {
    Com<IWICImagingFactory> factory;
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                           reinterpret_cast<void**>(factory.put())));
    Com<IWICStream> stream;
    Check(factory->CreateStream(stream.put()));
    Check(stream->InitializeFromMemory(const_cast<BYTE*>(file.data()), DWORD(file.size())));
    Com<IWICBitmapDecoder> decoder;
    Check(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put()));
    Com<IWICBitmapFrameDecode> frame;
    Check(decoder->GetFrame(0, frame.put()));
    UINT w = 0, h = 0;
    Check(frame->GetSize(&w, &h));
    decode::CheckPictureSize(w, h, pgpf24Bit, 0, 0, RaiseSize);
    if (w == 0 || h == 0) RaiseSize(GetPGLangStr(msg::NotSupportedSubformat));
    const int width = int(w), height = int(h);
    Com<IWICFormatConverter> converter;
    Check(factory->CreateFormatConverter(converter.put()));
    Check(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                WICBitmapPaletteTypeCustom));

    const int orientation = Orientation(frame.get());
    const bool sideways = orientation >= 5;
    const int factor = decode::ReductionFactor(width, height, sideways ? image.ShownHeight : image.ShownWidth,
                                               sideways ? image.ShownWidth : image.ShownHeight);
    decode::BoxReducer reducer(image, width, height, factor, 3);
    const PGColor back = image.BackGroundColor();
    const int backBGR[3] = {PGBlue(back), PGGreen(back), PGRed(back)};
    std::vector<std::uint8_t> in(std::size_t(width) * 4), row(std::size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        const WICRect rect{0, y, width, 1};
        Check(converter->CopyPixels(&rect, UINT(in.size()), UINT(in.size()), in.data()));
        for (std::size_t x = 0; x < std::size_t(width); ++x)
            for (int k = 0; k < 3; ++k) row[x * 3 + k] = decode::Blend(in[x * 4 + k], backBGR[k], in[x * 4 + 3]);
        reducer.AddRow(row.data());
    }
    ApplyOrientation(image, orientation);
}

}  // namespace

SystemDecode DecodeWithWic(std::span<const std::uint8_t> file, TPixelGraphic& image, std::string& error) {
    const ComScope com;
    try {
        Decode(file, image);
        return SystemDecode::Done;
    } catch (const Failure& f) {
        if (f.result == WINCODEC_ERR_COMPONENTNOTFOUND) return SystemDecode::NoDecoder;
        char text[64];
        std::snprintf(text, sizeof text, "the system's decoder failed (0x%08lX)", static_cast<unsigned long>(f.result));
        error = text;
    } catch (const std::runtime_error& e) {
        error = e.what();
    }
    return SystemDecode::Failed;
}

}  // namespace quipix::win32

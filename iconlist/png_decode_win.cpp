// PNG decoding through the Windows imaging component, straight into premultiplied BGRA.
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstring>

#include "base/com_win.hpp"
#include "iconlist/bitmap.hpp"

namespace tb {
namespace {

using Microsoft::WRL::ComPtr;

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

}  // namespace

std::optional<Bitmap32> DecodePng(std::string_view file) {
    if (file.size() < sizeof kPngSignature || std::memcmp(file.data(), kPngSignature, sizeof kPngSignature) != 0) {
        return std::nullopt;
    }
    if (file.size() > 0x7FFFFFFF) return std::nullopt;
    ComScope com;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)))) {
        return std::nullopt;
    }
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(&stream))) return std::nullopt;
    // The stream only reads the bytes; the cast drops const for the interface's sake.
    auto* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(file.data()));
    if (FAILED(stream->InitializeFromMemory(bytes, static_cast<DWORD>(file.size())))) return std::nullopt;
    // The signature says PNG: the PNG decoder is asked for by name. Letting the factory find one
    // by content creates every registered decoder in turn, which costs more than the decoding.
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(CoCreateInstance(CLSID_WICPngDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&decoder))) ||
        FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand))) {
        return std::nullopt;
    }
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, &frame))) return std::nullopt;
    UINT width = 0;
    UINT height = 0;
    if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 || width > kMaxPictureSide ||
        height > kMaxPictureSide) {
        return std::nullopt;
    }
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom))) {
        return std::nullopt;
    }
    Bitmap32 picture(static_cast<int>(width), static_cast<int>(height));
    if (FAILED(converter->CopyPixels(nullptr, width * 4, width * height * 4,
                                     reinterpret_cast<BYTE*>(picture.pixels.data())))) {
        return std::nullopt;
    }
    return picture;
}

}  // namespace tb

// PNG decoding through the Windows imaging component, straight into premultiplied BGRA.
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>  // std::lock_guard
#include <string>
#include <unordered_map>

#include "base/com_win.hpp"
#include "base/lock.hpp"
#include "iconlist/bitmap.hpp"

namespace tb {
namespace {

using Microsoft::WRL::ComPtr;

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Every window of a process decodes its icons, and mostly the same icons: the pictures decoded
// last are kept by their file's bytes, so a further window does not ask the imaging component
// again. Keyed by the whole bytes, not a digest, so that no file can stand for another; bounded,
// so that hostile stores cannot make it grow (past the bound it starts again).
class DecodedPictures {
public:
    std::optional<Bitmap32> Find(std::string_view file) {
        std::lock_guard guard(lock_);
        const auto found = pictures_.find(file);
        if (found == pictures_.end()) return std::nullopt;
        return found->second;
    }
    void Keep(std::string_view file, const Bitmap32& picture) {
        const std::size_t cost = file.size() + picture.pixels.size() * sizeof(std::uint32_t);
        if (cost > kMaxBytes / 8) return;
        std::lock_guard guard(lock_);
        if (bytes_ + cost > kMaxBytes) {
            pictures_.clear();
            bytes_ = 0;
        }
        if (pictures_.emplace(std::string(file), picture).second) bytes_ += cost;
    }

private:
    static constexpr std::size_t kMaxBytes = 4 << 20;
    Lock lock_;
    struct BytesHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view bytes) const noexcept { return std::hash<std::string_view>{}(bytes); }
    };
    std::unordered_map<std::string, Bitmap32, BytesHash, std::equal_to<>> pictures_;
    std::size_t bytes_ = 0;
};

// The session of this thread, innermost first.
thread_local DecodingSession* t_session = nullptr;

DecodedPictures& Decoded() {
    static DecodedPictures decoded;
    return decoded;
}

std::optional<Bitmap32> DecodeWithImagingComponent(std::string_view file);

// A 1 x 1 PNG: decoding it loads everything the first real picture needs.
constexpr unsigned char kSmallestPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00,
    0x00, 0x00, 0x0b, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x60, 0x00, 0x02, 0x00, 0x00, 0x05, 0x00,
    0x01, 0xe9, 0xfa, 0xdc, 0xd8, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

void CALLBACK PrepareOnPoolThread(PTP_CALLBACK_INSTANCE instance, void* module) {
    // The pool gives this library's reference back once the function has returned.
    if (module != nullptr) FreeLibraryWhenCallbackReturns(instance, static_cast<HMODULE>(module));
    // The component stays loaded for the process (as in a browser, which shows pictures anyway):
    // the apartment of this thread ends below, and with it what it loaded.
    LoadLibraryExW(L"windowscodecs.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    DecodeWithImagingComponent(std::string_view(reinterpret_cast<const char*>(kSmallestPng), sizeof kSmallestPng));
}

}  // namespace

struct DecodingSession::Kept {
    ComScope com;  // first made, last gone: the objects below are released inside it
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IClassFactory> png_decoders;
};

DecodingSession::DecodingSession() : outer_(t_session) { t_session = this; }

DecodingSession::~DecodingSession() { t_session = outer_; }

DecodingSession::Kept& DecodingSession::Objects() {
    if (!kept_) kept_ = std::make_unique<Kept>();
    return *kept_;
}

void PrepareDecoding() {
    static std::atomic<bool> started{false};
    if (started.exchange(true)) return;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&PrepareOnPoolThread),
                       &module);
    if (!TrySubmitThreadpoolCallback(&PrepareOnPoolThread, module, nullptr) && module != nullptr) FreeLibrary(module);
}

std::optional<Bitmap32> DecodePng(std::string_view file) {
    if (std::optional<Bitmap32> known = Decoded().Find(file)) return known;
    std::optional<Bitmap32> decoded = DecodeWithImagingComponent(file);
    if (decoded) Decoded().Keep(file, *decoded);
    return decoded;
}

namespace {

// The imaging component's factory and a PNG decoder. The signature says PNG: the PNG decoder is
// asked for by name (letting the factory find one by content creates every registered decoder in
// turn, which costs more than the decoding). Each object asked of the system by name is looked up
// in the registry, a dozen calls to Wine's server: a session keeps the factory and the decoder's
// class for all its pictures.
bool MakeDecoder(ComPtr<IWICImagingFactory>& factory, ComPtr<IWICBitmapDecoder>& decoder) {
    if (t_session == nullptr) {
        return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_PPV_ARGS(&factory))) &&
               SUCCEEDED(CoCreateInstance(CLSID_WICPngDecoder, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_PPV_ARGS(&decoder)));
    }
    DecodingSession::Kept& kept = t_session->Objects();
    if (!kept.factory && FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                                 IID_PPV_ARGS(&kept.factory)))) {
        return false;
    }
    if (!kept.png_decoders && FAILED(CoGetClassObject(CLSID_WICPngDecoder, CLSCTX_INPROC_SERVER, nullptr,
                                                      IID_PPV_ARGS(&kept.png_decoders)))) {
        return false;
    }
    factory = kept.factory;
    return SUCCEEDED(kept.png_decoders->CreateInstance(nullptr, IID_PPV_ARGS(&decoder)));
}

std::optional<Bitmap32> DecodeWithImagingComponent(std::string_view file) {
    if (file.size() < sizeof kPngSignature || std::memcmp(file.data(), kPngSignature, sizeof kPngSignature) != 0) {
        return std::nullopt;
    }
    if (file.size() > 0x7FFFFFFF) return std::nullopt;
    ComScope com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    if (!MakeDecoder(factory, decoder)) return std::nullopt;
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(&stream))) return std::nullopt;
    // The stream only reads the bytes; the cast drops const for the interface's sake.
    auto* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(file.data()));
    if (FAILED(stream->InitializeFromMemory(bytes, static_cast<DWORD>(file.size())))) return std::nullopt;
    if (FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand))) return std::nullopt;
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

}  // namespace

}  // namespace tb

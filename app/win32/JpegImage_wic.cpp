// The Windows Imaging Component: on every Windows since Vista, so the program needs no JPEG
// library of its own.
#include "JpegImage.h"

#include <initguid.h>
#include <wincodec.h>
#include <windows.h>

namespace {

template <typename Interface> struct Releasing {
    Interface* pointer = nullptr;
    ~Releasing() {
        if (pointer)
            pointer->Release();
    }
    Interface** operator&() { return &pointer; }
    Interface* operator->() const { return pointer; }
};

} // namespace

DecodedImage DecodeJpeg(const unsigned char* data, std::size_t size) {
    if (!data || size == 0 || size > 0xffffffffu)
        return {};
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    DecodedImage image;
    {
        Releasing<IWICImagingFactory> factory;
        Releasing<IWICStream> stream;
        Releasing<IWICBitmapDecoder> decoder;
        Releasing<IWICBitmapFrameDecode> frame;
        Releasing<IWICFormatConverter> converter;
        UINT width = 0, height = 0;
        if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWICImagingFactory,
                                       reinterpret_cast<void**>(&factory))) &&
            SUCCEEDED(factory->CreateStream(&stream)) &&
            SUCCEEDED(
                stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size))) &&
            SUCCEEDED(factory->CreateDecoderFromStream(stream.pointer, nullptr,
                                                       WICDecodeMetadataCacheOnDemand, &decoder)) &&
            SUCCEEDED(decoder->GetFrame(0, &frame)) &&
            SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
            SUCCEEDED(converter->Initialize(frame.pointer, GUID_WICPixelFormat32bppBGR,
                                            WICBitmapDitherTypeNone, nullptr, 0.0,
                                            WICBitmapPaletteTypeCustom)) &&
            SUCCEEDED(converter->GetSize(&width, &height)) && width > 0 && height > 0 &&
            width < 0x8000 && height < 0x8000) {
            image.width = static_cast<int>(width);
            image.height = static_cast<int>(height);
            image.pixels.resize(std::size_t(width) * height);
            if (FAILED(converter->CopyPixels(nullptr, width * 4, width * height * 4,
                                             reinterpret_cast<BYTE*>(image.pixels.data()))))
                image = DecodedImage();
        }
    }
    for (std::uint32_t& pixel : image.pixels)
        pixel |= 0xff000000u;
    if (SUCCEEDED(com))
        CoUninitialize();
    return image;
}

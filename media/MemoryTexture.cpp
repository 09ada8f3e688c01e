#include "media/MemoryTexture.h"

namespace {
int NextPowerOfTwo(int v) {
    int p = 1;
    while (p < v && p < (1 << 30)) p <<= 1;
    return p;
}
}  // namespace

CMemoryTexture::CMemoryTexture(CMemoryTextureDevice& device, int w, int h)
    : device_(device), pitch_(w * 4 + device.RowPadding) {
    width = w;
    height = h;
    pixels_.resize(size_t(pitch_) * size_t(h));
    device_.Live.fetch_add(1);
    device_.Created.fetch_add(1);
}

CMemoryTexture::~CMemoryTexture() { device_.Live.fetch_sub(1); }

uint8_t* CMemoryTexture::Lock(int& pitch, TextureResult& result) {
    result = device_.FailLock;
    if (result != TextureResult::Ok) return nullptr;
    locked_ = true;
    pitch = pitch_;
    return pixels_.data();
}

TextureResult CMemoryTexture::Unlock() {
    locked_ = false;
    if (device_.FailUnlock != TextureResult::Ok) return device_.FailUnlock;
    device_.Uploads.fetch_add(1);
    return TextureResult::Ok;
}

void CMemoryTexture::Release() { delete this; }

TextureHandle CMemoryTextureDevice::CreateTexture(int width, int height, TextureResult& result) {
    result = FailCreate;
    if (result != TextureResult::Ok) return nullptr;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        result = TextureResult::OutOfMemory;
        return nullptr;
    }
    if (RoundToPowerOfTwo) {
        width = NextPowerOfTwo(width);
        height = NextPowerOfTwo(height);
    }
    return TextureHandle(new CMemoryTexture(*this, width, height));
}

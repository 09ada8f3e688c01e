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

uint8_t* CMemoryTexture::Lock(int& pitch, uint32_t& result) {
    result = device_.FailLock;
    if (result != TextureOk) return nullptr;
    locked_ = true;
    pitch = pitch_;
    return pixels_.data();
}

uint32_t CMemoryTexture::Unlock() {
    locked_ = false;
    if (device_.FailUnlock != TextureOk) return device_.FailUnlock;
    device_.Uploads.fetch_add(1);
    return TextureOk;
}

void CMemoryTexture::Release() { delete this; }

TextureHandle CMemoryTextureDevice::CreateTexture(int width, int height, uint32_t& result) {
    result = FailCreate;
    if (result != TextureOk) return nullptr;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        result = TextureOutOfMemory;
        return nullptr;
    }
    if (RoundToPowerOfTwo) {
        width = NextPowerOfTwo(width);
        height = NextPowerOfTwo(height);
    }
    return TextureHandle(new CMemoryTexture(*this, width, height));
}

// Display textures: the pixels the render engine composes from, and the device
// that makes them. Only the thread that owns the graphics context (the render
// thread) creates, locks, unlocks or deletes a texture of a graphics device; any
// thread may release one, and the device then deletes it on its own thread.
#pragma once

#include <cstdint>
#include <memory>

// Result codes of texture operations, in the 32-bit form the log prints.
constexpr uint32_t TextureOk = 0;
constexpr uint32_t TextureFail = 0x80004005;         // generic failure
constexpr uint32_t TextureOutOfMemory = 0x8007000E;  // no room for the pixels

class CTexture {
public:
    virtual ~CTexture() = default;

    // The size the texture really has (a device may round a requested size).
    int width = 0;
    int height = 0;

    // A CPU pointer to the BGRA pixels, rows top first, and the byte distance
    // between rows (at least width * 4); null with a result code on failure.
    virtual uint8_t* Lock(int& pitch, uint32_t& result) = 0;
    // Hands the written pixels to the texture; TextureOk or a result code.
    virtual uint32_t Unlock() = 0;
    // Gives the texture back to its device, from any thread. The texture must not
    // be used afterwards.
    virtual void Release() = 0;
};

struct CTextureRelease {
    void operator()(CTexture* texture) const {
        if (texture) texture->Release();
    }
};
// An owned texture: released through its device when the owner lets it go.
using TextureHandle = std::unique_ptr<CTexture, CTextureRelease>;

class ITextureDevice {
public:
    virtual ~ITextureDevice() = default;
    // A texture of width x height (the device may give another size; callers
    // check), or null with the device's result code.
    virtual TextureHandle CreateTexture(int width, int height, uint32_t& result) = 0;
};

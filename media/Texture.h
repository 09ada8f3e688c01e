// Display textures: the pixels the render engine composes from, and the device
// that makes them. Only the thread that owns the graphics context (the render
// thread) creates, locks, unlocks or deletes a texture of a graphics device; any
// thread may release one, and the device then deletes it on its own thread.
#pragma once

#include <cstdint>
#include <memory>

// What a texture operation came to. The values are the 32-bit codes earlier logs
// printed, kept so that old and new logs read alike.
enum class TextureResult : uint32_t {
    Ok = 0,
    Failed = 0x80004005,       // the device refused (no context, a call failed)
    OutOfMemory = 0x8007000E,  // no room for the pixels
};
// "ok", "failed" or "out of memory", for the log.
const char* TextureResultName(TextureResult result);

class CTexture {
public:
    virtual ~CTexture() = default;

    // The size the texture really has (a device may round a requested size).
    int width = 0;
    int height = 0;

    // A CPU pointer to the BGRA pixels, rows top first, and the byte distance
    // between rows (at least width * 4); null with a result code on failure.
    virtual uint8_t* Lock(int& pitch, TextureResult& result) = 0;
    // Hands the written pixels to the texture.
    virtual TextureResult Unlock() = 0;
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
    virtual TextureHandle CreateTexture(int width, int height, TextureResult& result) = 0;
};

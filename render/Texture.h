// A display texture: pixels the render engine composes from. Only the thread that
// owns the graphics context (the render thread) creates, locks, unlocks or deletes
// one; other threads hand textures back to that thread for release.
#pragma once

#include <cstdint>

class CTexture {
public:
    virtual ~CTexture() = default;

    int width = 0;
    int height = 0;

    // A CPU pointer to the texture's BGRA pixels and the byte distance between rows;
    // null when the texture cannot be locked.
    virtual uint8_t* Lock(int& pitch) = 0;
    // Hands the written pixels to the texture.
    virtual void Unlock() = 0;
};

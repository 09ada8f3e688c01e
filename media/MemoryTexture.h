// Textures kept in memory: the device for tests, tools and anywhere no graphics
// context exists. It can be told to round sizes or to fail, so callers' error paths
// can be exercised.
//
// Threads: any thread; the counters are atomic.
#pragma once

#include "media/Texture.h"

#include <atomic>
#include <vector>

class CMemoryTexture : public CTexture {
public:
    CMemoryTexture(class CMemoryTextureDevice& device, int w, int h);
    ~CMemoryTexture() override;

    uint8_t* Lock(int& pitch, TextureResult& result) override;
    TextureResult Unlock() override;
    void Release() override;

    // The pixels as last unlocked (rows of Pitch bytes).
    const std::vector<uint8_t>& Pixels() const { return pixels_; }
    int Pitch() const { return pitch_; }
    bool Locked() const { return locked_; }

private:
    CMemoryTextureDevice& device_;
    std::vector<uint8_t> pixels_;
    int pitch_;
    bool locked_ = false;
};

class CMemoryTextureDevice : public ITextureDevice {
public:
    TextureHandle CreateTexture(int width, int height, TextureResult& result) override;

    // Failure injection and device quirks for tests.
    TextureResult FailCreate = TextureResult::Ok;  // result code of every creation while set
    TextureResult FailLock = TextureResult::Ok;
    TextureResult FailUnlock = TextureResult::Ok;
    bool RoundToPowerOfTwo = false;   // give the next power of two in each direction
    int RowPadding = 0;               // bytes added to every row's pitch

    // Textures alive now, and created in all.
    std::atomic<int> Live{0};
    std::atomic<int> Created{0};
    std::atomic<int> Uploads{0};  // successful unlocks
};

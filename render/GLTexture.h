// Display textures in OpenGL: BGRA bytes uploaded as RGBA into textures whose red
// and blue are swapped when sampled (a BGRA upload is many times slower on
// llvmpipe). Each texture keeps a CPU copy that Lock hands out, so a texture used
// as a ring keeps its content between locks. Unlock only marks the copy as
// changed: the engine uploads the textures it is about to draw in a step of its
// own, once per frame however often a texture was written.
//
// Threads: CreateTexture, Lock, Unlock, Upload and CollectGarbage on the render
// thread, which owns the context; Release on any thread: the name is queued and
// deleted by the render thread at its next CollectGarbage (or dropped, with the
// context, once the device is gone).
#pragma once

#include "media/Texture.h"

#include <epoxy/gl.h>
#include <memory>
#include <mutex>
#include <vector>

class COpenGLTexture;

// Names released from any thread, waiting for the render thread.
struct GLGarbage {
    std::mutex lock;            // guards names
    std::vector<GLuint> names;  // written by any thread, emptied by the render thread
};

class COpenGLTextureDevice : public ITextureDevice {
public:
    COpenGLTextureDevice();
    ~COpenGLTextureDevice() override;

    TextureHandle CreateTexture(int width, int height, TextureResult& result) override;
    // Deletes the textures released since the last call.
    void CollectGarbage();

    // The GL name behind a texture of this device (0 for another kind).
    static GLuint NameOf(const CTexture* texture);
    // A number that changes whenever the texture's content does, unique across
    // textures (0 for another kind): what the engine compares to know what changed.
    static uint64_t VersionOf(const CTexture* texture);
    // Hands the pixels written since the last upload to OpenGL; true when it did,
    // false when there was nothing to upload (or the texture is of another kind)
    // or OpenGL refused them (logged).
    static bool Upload(CTexture* texture);

    int maxTextureSize = 2048;

private:
    std::shared_ptr<GLGarbage> garbage_;
};

class COpenGLTexture : public CTexture {
public:
    COpenGLTexture(GLuint name, int w, int h, std::shared_ptr<GLGarbage> garbage);
    ~COpenGLTexture() override;

    uint8_t* Lock(int& pitch, TextureResult& result) override;
    TextureResult Unlock() override;
    void Release() override;

    // See COpenGLTextureDevice::Upload.
    bool Upload();

    const GLuint name;
    uint64_t version;  // render thread: set at creation and at every unlock

private:
    std::vector<uint8_t> pixels_;
    bool locked_ = false;
    bool written_ = false;  // render thread: pixels unlocked and not yet uploaded
    std::shared_ptr<GLGarbage> garbage_;
};

#include "render/GLTexture.h"

#include "base/Debug.h"

#include <atomic>

namespace {

// Shared by the render threads of every engine in the process.
std::atomic<uint64_t> LastVersion{0};

uint64_t NextVersion() { return LastVersion.fetch_add(1) + 1; }

}  // namespace

COpenGLTextureDevice::COpenGLTextureDevice() : garbage_(std::make_shared<GLGarbage>()) {}

COpenGLTextureDevice::~COpenGLTextureDevice() = default;

TextureHandle COpenGLTextureDevice::CreateTexture(int width, int height, TextureResult& result) {
    result = TextureResult::Ok;
    if (width <= 0 || height <= 0 || width > maxTextureSize || height > maxTextureSize) {
        result = TextureResult::Failed;
        return nullptr;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    // The bytes are blue, green, red, alpha: sampled red comes from the third.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_R, GL_BLUE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, GL_RED);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        glDeleteTextures(1, &name);
        result = error == GL_OUT_OF_MEMORY ? TextureResult::OutOfMemory : TextureResult::Failed;
        return nullptr;
    }
    return TextureHandle(new COpenGLTexture(name, width, height, garbage_));
}

void COpenGLTextureDevice::CollectGarbage() {
    std::vector<GLuint> names;
    {
        std::lock_guard guard(garbage_->lock);
        names.swap(garbage_->names);
    }
    if (!names.empty()) glDeleteTextures(GLsizei(names.size()), names.data());
}

GLuint COpenGLTextureDevice::NameOf(const CTexture* texture) {
    const auto* gl = dynamic_cast<const COpenGLTexture*>(texture);
    return gl ? gl->name : 0;
}

uint64_t COpenGLTextureDevice::VersionOf(const CTexture* texture) {
    const auto* gl = dynamic_cast<const COpenGLTexture*>(texture);
    return gl ? gl->version : 0;
}

bool COpenGLTextureDevice::Upload(CTexture* texture) {
    auto* gl = dynamic_cast<COpenGLTexture*>(texture);
    return gl && gl->Upload();
}

COpenGLTexture::COpenGLTexture(GLuint glName, int w, int h, std::shared_ptr<GLGarbage> garbage)
    : name(glName), version(NextVersion()), pixels_(size_t(w) * size_t(h) * 4, 0), garbage_(std::move(garbage)) {
    width = w;
    height = h;
}

COpenGLTexture::~COpenGLTexture() = default;

uint8_t* COpenGLTexture::Lock(int& pitch, TextureResult& result) {
    result = TextureResult::Ok;
    pitch = width * 4;
    locked_ = true;
    return pixels_.data();
}

TextureResult COpenGLTexture::Unlock() {
    if (!locked_) return TextureResult::Failed;
    locked_ = false;
    version = NextVersion();
    written_ = true;
    return TextureResult::Ok;
}

bool COpenGLTexture::Upload() {
    // A texture still locked is being written: its last unlocked pixels are not
    // kept apart, so it waits for its unlock.
    if (!written_ || locked_) return false;
    written_ = false;
    while (glGetError() != GL_NO_ERROR) {
    }
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return true;
    CDebug::Log(1, "COpenGLTexture::Upload(): glTexSubImage2D(%d x %d) = %04X", width, height, unsigned(error));
    return false;
}

void COpenGLTexture::Release() {
    {
        std::lock_guard guard(garbage_->lock);
        garbage_->names.push_back(name);
    }
    delete this;
}

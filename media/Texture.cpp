#include "media/Texture.h"

const char* TextureResultName(TextureResult result) {
    switch (result) {
    case TextureResult::Ok: return "ok";
    case TextureResult::Failed: return "failed";
    case TextureResult::OutOfMemory: return "out of memory";
    }
    return "unknown";
}

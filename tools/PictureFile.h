// Pictures written as PNG files (straight alpha kept) for the tool's outputs.
//
// Threads: any.
#pragma once

#include "media/Picture.h"

#include <QString>
#include <cstdint>

// width x height BGRA pixels, rows pitch bytes apart.
bool SavePng(const uint8_t* pixels, int width, int height, int pitch, const QString& path);
bool SavePng(const CPicture& picture, const QString& path);

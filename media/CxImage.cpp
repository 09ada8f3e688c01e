#include "media/CxImage.h"

#include "base/SafeFile.h"

#include <QFile>
#include <cstring>

bool CxImage::Create(int width, int height) {
    if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide || int64_t(width) * height > MaxPixels) {
        Error = QStringLiteral("image size %1 x %2 is too large, beyond the limits of %3 pixels a side and %4 pixels in all")
                    .arg(width)
                    .arg(height)
                    .arg(MaxSide)
                    .arg(MaxPixels);
        Failure = CxFailure::TooLarge;
        return false;
    }
    Width = width;
    Height = height;
    Pixels.assign(size_t(width) * size_t(height) * 4, 0);
    return true;
}

CxImageFormat CxImage::Detect(const uint8_t* data, size_t size) {
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return CxFormatBmp;
    if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) return CxFormatGif;
    if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) return CxFormatPng;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return CxFormatJpg;
    // TGA has no signature: a header whose fields all make sense is taken as one.
    if (size >= 18) {
        const uint8_t colourMapType = data[1], imageType = data[2], depth = data[16];
        const bool typeOk = imageType == 1 || imageType == 2 || imageType == 3 || imageType == 9 || imageType == 10 ||
                            imageType == 11;
        const bool depthOk = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
        const int width = data[12] | data[13] << 8, height = data[14] | data[15] << 8;
        if (colourMapType <= 1 && typeOk && depthOk && width > 0 && height > 0) return CxFormatTga;
    }
    return CxFormatUnknown;
}

bool CxImage::Decode(const uint8_t* data, size_t size, int frame) {
    *this = CxImage();
    Format = Detect(data, size);
    bool ok = false;
    switch (Format) {
    case CxFormatBmp: ok = CxImageBMP::Decode(data, size, *this); break;
    case CxFormatGif: ok = CxImageGIF::Decode(data, size, frame < 0 ? 0 : frame, *this); break;
    case CxFormatJpg: ok = CxImageJPG::Decode(data, size, *this); break;
    case CxFormatPng: ok = CxImagePNG::Decode(data, size, *this); break;
    case CxFormatTga: ok = CxImageTGA::Decode(data, size, *this); break;
    default: Error = QStringLiteral("unknown image format"); break;
    }
    if (!ok) {
        const QString error = Error.isEmpty() ? QStringLiteral("cannot decode the image") : Error;
        const CxImageFormat format = Format;
        const CxFailure failure = Failure == CxFailure::TooLarge ? Failure : CxFailure::Format;
        *this = CxImage();
        Format = format;
        Error = error;
        Failure = failure;
    }
    return ok;
}

bool CxImage::Load(const QString& path, int frame) {
    QByteArray bytes;
    const FileRefusal refusal = SafeFile::ReadAll(path, MaxFileSize, bytes);
    if (refusal != FileRefusal::None) {
        *this = CxImage();
        Error = QString::fromLatin1(FileRefusalText(refusal));
        Failure = CxFailure::Open;
        return false;
    }
    return Decode(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), frame);
}

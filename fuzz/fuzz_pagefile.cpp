// Fuzz target for the page reader: any bytes give either a page or one error
// message with nothing loaded, never a crash, a leak, a hang or a huge allocation.
// A page that loads is written again and must read back equal; the preview reader
// must stay silent.
#include "base/Translate.h"
#include "core/Frame.h"
#include "core/PageFile.h"
#include "fuzz/FuzzScratch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

class CountingPresenter : public IMessagePresenter {
public:
    int Show(const QString& text, unsigned flags) override {
        ++shown;
        if (flags == MbIconError) {
            ++errors;
            last = text;
        }
        return IdOk;
    }
    void Reset() {
        shown = errors = 0;
        last.clear();
    }
    int shown = 0;
    int errors = 0;
    QString last;
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_pagefile: %s\n", what);
    std::abort();
}

struct Scratch {
    Scratch() { CTranslate::Global().SetPresenter(&presenter); }
    FuzzScratch folder{"fuzz_pagefile"};
    QString input = folder.Path("input.corvane");
    QString copy = folder.Path("copy.corvane");
    CountingPresenter presenter;
};

QByteArray Stored(const CCompressedPicture& picture) {
    return QByteArray(reinterpret_cast<const char*>(picture.data.get()), qsizetype(picture.StoredByteCount()));
}

// What a write and a second read must keep of an object.
bool SameStoredObject(const CFrame& a, const CFrame& b) {
    for (const auto& f : PageFile::RecordFields)
        if (a.*f.field != b.*f.field) return false;
    if (a.BackColor != b.BackColor || !(a.Rect == b.Rect)) return false;
    if (a.FileName != b.FileName || a.ClockFormat != b.ClockFormat || a.TimerFormat != b.TimerFormat ||
        a.Group != b.Group || a.ImageFileName != b.ImageFileName || a.RichText != b.RichText)
        return false;
    // Frames of a linked object are not stored; they come from its image file.
    if (a.MaintainLink) return b.Frames.empty();
    if (a.Frames.size() != b.Frames.size()) return false;
    if (!a.Frames.empty() && (a.PictureWidth != b.PictureWidth || a.PictureHeight != b.PictureHeight)) return false;
    for (size_t k = 0; k < a.Frames.size(); ++k) {
        const CFrameBackground& x = a.Frames[k];
        const CFrameBackground& y = b.Frames[k];
        if (x.Delay != y.Delay || x.Picture.width != y.Picture.width || x.Picture.height != y.Picture.height ||
            x.Picture.compressedSize != y.Picture.compressedSize || Stored(x.Picture) != Stored(y.Picture))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    CountingPresenter& presenter = scratch.presenter;
    {
        QFile file(scratch.input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) Fail("cannot write the input file");
        if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) Fail("short input write");
    }

    presenter.Reset();
    std::vector<std::unique_ptr<CFrame>> objects;
    objects.push_back(std::make_unique<CFrame>());  // a leftover the reader must drop
    const bool loaded = PageFile::ReadPage(scratch.input, 0, 96, objects);
    if (presenter.errors > 1) Fail("more than one error message for one read");
    if (!loaded && !objects.empty()) Fail("a failed read left objects behind");
    if (!loaded && presenter.errors != 1) Fail("a failed read showed no error message");
    if (loaded && presenter.errors != 0) Fail("a successful read showed an error message");
    if (objects.size() > size_t(PageFile::MaxObjects)) Fail("more objects than a page holds");
    for (const auto& frame : objects) {
        if (frame->Kind != KindSimple && frame->Kind != KindPicture) Fail("an object of unknown kind was loaded");
        if (frame->Frames.size() > size_t(PageFile::MaxFrames)) Fail("more frames than an object holds");
        for (const CFrameBackground& b : frame->Frames)
            if (b.Picture.width != frame->PictureWidth || b.Picture.height != frame->PictureHeight)
                Fail("frames of different sizes in one object");
    }

    presenter.Reset();
    CPicture preview;
    if (PageFile::ReadPreview(scratch.input, preview)) {
        if (preview.IsEmpty() || !preview.data) Fail("a preview was read without pixels");
        if (int64_t(preview.ByteCount()) > int64_t(size)) Fail("a preview larger than the file");
    } else if (!preview.IsEmpty()) {
        Fail("a failed preview read left a picture");
    }
    if (presenter.shown != 0) Fail("the preview reader showed a message");

    if (!loaded) return 0;

    std::vector<const CFrame*> list;
    for (const auto& frame : objects) list.push_back(frame.get());
    presenter.Reset();
    if (!PageFile::WritePage(scratch.copy, 0, 96, list, nullptr) || presenter.shown != 0)
        Fail("a page that loaded could not be written");
    std::vector<std::unique_ptr<CFrame>> again;
    if (!PageFile::ReadPage(scratch.copy, 0, 96, again) || presenter.shown != 0)
        Fail("a written page did not read back");
    if (again.size() != objects.size()) Fail("the written page has another object count");
    for (size_t k = 0; k < objects.size(); ++k)
        if (!SameStoredObject(*objects[k], *again[k])) Fail("an object changed on its way through a write");
    return 0;
}

// Writing and reading a page of 100 objects, each with one full-HD lower-third frame,
// against a memcpy of the same number of bytes (the page file's size) in the same run:
// bytes_per_second of a case divided by that of BM_PageMemcpy is its speed as a
// fraction of a plain copy. Times are wall-clock: a save waits for the disk.
#include "base/Translate.h"
#include "core/Frame.h"
#include "core/PageFile.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr int Objects = 100;
constexpr int Mode = 0;  // 1080i50
constexpr int Dpi = 96;

// The writer and reader report to the user through a presenter; a benchmark has none.
class SilentPresenter : public IMessagePresenter {
public:
    int Show(const QString&, unsigned) override { return IdOk; }
};

// Coverage of a pixel centre by a rounded rectangle, with a one-pixel soft edge.
double Coverage(double x, double y, double left, double top, double right, double bottom, double radius) {
    const double cx = std::clamp(x, left + radius, right - radius);
    const double cy = std::clamp(y, top + radius, bottom - radius);
    return std::clamp(0.5 - (std::hypot(x - cx, y - cy) - radius), 0.0, 1.0);
}

// A typical lower third: transparent above, a banner with a vertical gradient and
// anti-aliased rounded corners over a soft shadow, a name plate with a horizontal
// gradient, and a round badge with a soft edge. The index shifts the banner a little
// so the objects are not copies of one another.
CPicture LowerThird(int index) {
    CPicture picture;
    picture.Resize(Width, Height);
    std::memset(picture.data.get(), 0, picture.ByteCount());
    const double shift = index % 7;
    const double left = 140 + shift, top = 790, right = 1560 + shift, bottom = 950, radius = 20;
    for (int y = 740; y < 1010; ++y) {
        for (int x = 80; x < 1840; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            double a = Coverage(px - 5, py - 5, left, top, right, bottom, radius) * 80;
            double b = 0, g = 0, r = 0;
            const double banner = Coverage(px, py, left, top, right, bottom, radius);
            if (banner > 0) {
                const double t = (py - top) / (bottom - top);
                b = 110 + 90 * t, g = 35 + 40 * t, r = 15 + 20 * t;
                a = banner * 230 + (1 - banner) * a;
            }
            const double plate = Coverage(px, py, left + 30, top - 40, left + 900, top + 6, 8);
            if (plate > 0) {
                const double t = (px - left) / 900.0;
                b = b * (1 - plate) + 40 * plate;
                g = g * (1 - plate) + (150 + 90 * t) * plate;
                r = r * (1 - plate) + (235 - 70 * t) * plate;
                a = std::max(a, plate * 255);
            }
            const double badge = std::clamp(55.5 - std::hypot(px - 1700, py - 870), 0.0, 1.0);
            if (badge > 0) {
                b = b * (1 - badge) + 250 * badge, g = g * (1 - badge) + 250 * badge, r = r * (1 - badge) + 250 * badge;
                a = std::max(a, badge * 255);
            }
            uint8_t* p = picture.Pixel(x, y);
            p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r), p[3] = uint8_t(a);
        }
    }
    return picture;
}

struct Page {
    Page() {
        CTranslate::Global().SetPresenter(&presenter);
        if (!dir.isValid()) std::abort();
        path = dir.filePath(QStringLiteral("page.corvane"));
        for (int k = 0; k < Objects; ++k) {
            auto frame = std::make_unique<CFrame>();
            frame->Kind = KindPicture;
            frame->Rect = {0, 0, Width, Height};
            frame->Group = QStringLiteral("Lower third");
            frame->PictureWidth = Width;
            frame->PictureHeight = Height;
            CFrameBackground background;
            background.Picture.Compress(LowerThird(k));
            frame->Frames.push_back(std::move(background));
            list.push_back(frame.get());
            objects.push_back(std::move(frame));
        }
        if (!PageFile::WritePage(path, Mode, Dpi, list, nullptr)) std::abort();
        bytes = size_t(QFileInfo(path).size());
    }
    SilentPresenter presenter;
    QTemporaryDir dir;
    QString path;
    std::vector<std::unique_ptr<CFrame>> objects;
    std::vector<const CFrame*> list;
    size_t bytes = 0;
};

Page& ThePage() {
    static Page page;
    return page;
}

void BM_PageMemcpy(benchmark::State& state) {
    const size_t bytes = ThePage().bytes;
    std::vector<uint8_t> from(bytes, 0x5A), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["file_bytes"] = double(bytes);
}

void BM_WritePage(benchmark::State& state) {
    Page& page = ThePage();
    const QString path = page.dir.filePath(QStringLiteral("written.corvane"));
    for (auto _ : state) {
        if (!PageFile::WritePage(path, Mode, Dpi, page.list, nullptr)) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.bytes));
    state.counters["file_bytes"] = double(page.bytes);
    // How far the lower-third frames compress: stored bytes over raw bytes.
    const CCompressedPicture& stored = page.objects.front()->Frames.front().Picture;
    state.counters["stored_fraction"] = double(stored.StoredByteCount()) / (double(Width) * Height * 4);
}

void BM_ReadPage(benchmark::State& state) {
    Page& page = ThePage();
    std::vector<std::unique_ptr<CFrame>> objects;
    for (auto _ : state) {
        if (!PageFile::ReadPage(page.path, Mode, Dpi, objects) || objects.size() != size_t(Objects)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(objects.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.bytes));
    state.counters["file_bytes"] = double(page.bytes);
}

}  // namespace

BENCHMARK(BM_PageMemcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WritePage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadPage)->Unit(benchmark::kMillisecond)->UseRealTime();

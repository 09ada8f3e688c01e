#include "core/VideoModes.h"

namespace {

constexpr VideoMode Modes[VideoModes::Count] = {
    {"1080i50", 1920, 1080, 1920, 1080, 25, true, 20000},
    {"1080p50", 1920, 1080, 1920, 1080, 50, false, 20000},
    {"1080i60", 1920, 1080, 1920, 1080, 30, true, 16667},
    {"1080i59", 1920, 1080, 1920, 1080, 30, true, 16667},
    {"1080p60", 1920, 1080, 1920, 1080, 60, false, 16667},
    {"720p50", 1280, 720, 1280, 720, 50, false, 20000},
    {"720p60", 1280, 720, 1280, 720, 60, false, 16667},
    {"720p59", 1280, 720, 1280, 720, 60, false, 16667},
    // Standard definition renders a 720-wide page in the top-left corner of a
    // full-HD display: switchers take the HD signal and crop.
    {"576i50", 720, 576, 1920, 1080, 25, true, 20000},
    {"576p50", 720, 576, 1920, 1080, 50, false, 20000},
    {"480i60", 720, 488, 1920, 1080, 30, true, 16667},
    {"480p60", 720, 488, 1920, 1080, 60, false, 16667},
    {"1080p59", 1920, 1080, 1920, 1080, 60, false, 16667},
};

constexpr VideoMode NoMode = {"", 0, 0, 0, 0, 0, false, 1};

constexpr int ListOrder[VideoModes::Count] = {0, 3, 2, 1, 12, 4, 5, 7, 6, 8, 9, 10, 11};

}  // namespace

namespace VideoModes {

const VideoMode& Get(int index) { return index >= 0 && index < Count ? Modes[index] : NoMode; }

QString Name(int index) { return QString::fromLatin1(Get(index).name); }
int RenderWidth(int index) { return Get(index).renderWidth; }
int RenderHeight(int index) { return Get(index).renderHeight; }
int DisplayWidth(int index) { return Get(index).displayWidth; }
int DisplayHeight(int index) { return Get(index).displayHeight; }
int Refresh(int index) { return Get(index).refresh; }
bool Interlaced(int index) { return Get(index).interlaced; }
int FramePeriod(int index) { return Get(index).framePeriod; }

int IndexFromListPosition(int position) {
    return position >= 0 && position < Count ? ListOrder[position] : ListOrder[0];
}

int ListPosition(int index) {
    for (int position = 0; position < Count; ++position)
        if (ListOrder[position] == index) return position;
    return 0;
}

}  // namespace VideoModes

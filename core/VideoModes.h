// The thirteen video modes: page (render) size, display mode and frame period.
//
// Threads: constant tables, callable from any thread.
#pragma once

#include <QString>

struct VideoMode {
    const char* name;
    int renderWidth;
    int renderHeight;
    int displayWidth;
    int displayHeight;
    int refresh;      // Hz of the display mode
    bool interlaced;  // requested interlaced (refresh below 50 Hz)
    int framePeriod;  // microseconds
};

namespace VideoModes {

constexpr int Count = 13;

// The mode for an index; an index outside 0..12 gives zero sizes, refresh 0 and
// frame period 1 (and an empty name).
const VideoMode& Get(int index);

QString Name(int index);
int RenderWidth(int index);
int RenderHeight(int index);
int DisplayWidth(int index);
int DisplayHeight(int index);
int Refresh(int index);
bool Interlaced(int index);
int FramePeriod(int index);

// The mode lists' order: list position 0..12 -> mode index, and back. An unknown
// position gives mode 0; a mode not in the list is shown at position 0.
int IndexFromListPosition(int position);
int ListPosition(int index);

}  // namespace VideoModes

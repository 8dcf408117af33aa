// Progress on stderr.  On a terminal, one live line for the current point,
// redrawn at most four times a second; otherwise (a log file, a pipe) one
// line per finished point.
#pragma once

#include <chrono>
#include <cstdio>

#include "sweep/sweep.h"

namespace mtsweep {

struct ProgressOptions {
  bool enabled = true;  // false with --quiet
  bool live = false;    // stderr is a terminal: redraw one line
  // A line per finished point; not when stdout's table shows on the same
  // terminal.
  bool point_lines = true;
};

struct Progress {
  std::FILE* out = stderr;
  ProgressOptions options;
  const SweepSettings* settings = nullptr;
  std::chrono::steady_clock::time_point last_drawn{};
  bool line_open = false;  // a live line is on the screen
};

void show_progress(Progress& p, const PointProgress& now);
void show_point_finished(Progress& p, size_t index, const PointResult& point);
// Clears the live line before other output (the final messages).
void close_progress(Progress& p);

}  // namespace mtsweep

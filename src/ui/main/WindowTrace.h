#pragma once
// A time line of what the window shows, for the window benchmark (bench/window): written only when the
// environment variable QUARNIX_WINDOW_TRACE names a file, one line per event, "<ms since the epoch>
// <event> [numbers]". Events: "facts N" (an adding ended with N rows listed), "view FIRST LAST" (the rows
// in view asked for their pictures first), "picture ROW" (a row's picture arrived), and "stall MS" (the
// event loop answered a 20 ms timer MS milliseconds late, logged from 50 ms on).
#include <QObject>

namespace quarnix::window_trace {

bool Enabled();
void Note(const char* event, long long first = -1, long long second = -1);
// Starts the timer that measures how late the event loop answers, owned by the parent.
void StartStallWatch(QObject* parent);

} // namespace quarnix::window_trace

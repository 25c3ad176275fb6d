#pragma once
// The import path's diagnostic log. Lines are discarded unless a caller installs a sink.

using LogSink = void (*)(void* context, const char* line);

// Installs sink (nullptr: discard again). The sink is called for one line at a time, from
// whichever thread logs.
void SetLogSink(LogSink sink, void* context);

// printf-style; formats nothing when no sink is installed.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

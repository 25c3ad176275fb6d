#pragma once
// The import path's diagnostic log. Lines are discarded unless a caller installs a sink.

using LogSink = void (*)(void* context, const char* line);

// Installs sink (nullptr: discard again). Install before loading starts, not during it.
void SetLogSink(LogSink sink, void* context);

// printf-style; formats nothing when no sink is installed.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

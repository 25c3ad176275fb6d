#include "import/log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {
std::mutex g_mutex;  // a folder import's threads log at once; a sink sees one line at a time
LogSink g_sink = nullptr;
void* g_context = nullptr;
}  // namespace

void SetLogSink(LogSink sink, void* context)
{
    const std::lock_guard lock(g_mutex);
    g_sink = sink;
    g_context = context;
}

void LogPrintf(const char* format, ...)
{
    const std::lock_guard lock(g_mutex);
    if (!g_sink) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_sink(g_context, line);
}

#include "import/log.h"

#include <cstdarg>
#include <cstdio>

namespace {
LogSink g_sink = nullptr;
void* g_context = nullptr;
}  // namespace

void SetLogSink(LogSink sink, void* context)
{
    g_sink = sink;
    g_context = context;
}

void LogPrintf(const char* format, ...)
{
    if (!g_sink) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_sink(g_context, line);
}

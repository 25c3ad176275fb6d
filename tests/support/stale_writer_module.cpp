// A writer module as an earlier install leaves it: built for another program version, or (with
// STALE_INTERFACE) for another interface, whose fields past the first two mean something else.
#include "export/writer_module.h"

namespace {

int NeverWrites(const char*, const MeasureRecord&, int*)
{
    __builtin_trap();  // reached only if the loader took this module for one of its own
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const WriterModuleInterface* VarnelWriterModule()
{
    static WriterModuleInterface interface{kWriterModuleIdentity, nullptr, nullptr, {NeverWrites, NeverWrites}};
#ifdef STALE_INTERFACE
    interface.identity.interfaceVersion = WriterModuleInterfaceVersion + 1;
    interface.identity.recordSize = 0xdeadbeef;
#endif
    return &interface;
}

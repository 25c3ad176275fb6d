// The measurement report of a full record (3599 points) beside the DXF writer of the same run,
// so that its figure reads as a ratio.
#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "export/dxf_writer.h"
#include "export/report_pdf.h"
#include "export/writer_module.h"
#include "tests/support/testsupport.h"

namespace {

void BM_Export(benchmark::State& state, RecordWriter writer, const char* name)
{
    static const auto record = FullRecord();
    const ScratchFolder folder("varnel-bench");
    const std::string path = folder.File(name);
    for (auto _ : state) {
        if (writer(path.c_str(), *record, nullptr) != 0) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(path)));
}

const RecordWriter writeDxf = WriteDxfFile;

BENCHMARK_CAPTURE(BM_Export, WriteDxfFile, writeDxf, "out.dxf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Export, WriteReportPdf, WriteReportPdf, "out.pdf")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

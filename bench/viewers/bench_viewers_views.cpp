// Time to the first screen of each view on the large inputs, offscreen: handing the parsed
// model to the view and painting one 1200×800 frame.
#include "inputs_p.h"

#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"
#include "viewers/markdownview.h"

#include <benchmark/benchmark.h>

#include <QApplication>

namespace {

template<typename View, typename Show>
void firstScreen(benchmark::State &state, Show &&show)
{
    for (auto _ : state) {
        View view;
        view.resize(1200, 800);
        show(view);
        const QPixmap frame = view.grab();
        benchmark::DoNotOptimize(frame.cacheKey());
    }
}

void BM_CsvFirstScreen(benchmark::State &state)
{
    const Viewers::CSVTable table = Viewers::CSVParser::parse(BenchInputs::csv());
    firstScreen<Viewers::CSVTableView>(state, [&](Viewers::CSVTableView &view) { view.setTable(table); });
}

void BM_JsonFirstScreen(benchmark::State &state)
{
    const auto result = Viewers::JSONTreeBuilder::build(BenchInputs::json());
    firstScreen<Viewers::JSONTreeView>(state, [&](Viewers::JSONTreeView &view) { view.setResult(result); });
}

void BM_MarkdownFirstScreen(benchmark::State &state)
{
    const auto blocks = Viewers::MDBlock::parse(BenchInputs::markdown());
    firstScreen<Viewers::MarkdownView>(state, [&](Viewers::MarkdownView &view) { view.setBlocks(blocks); });
}

} // namespace

BENCHMARK(BM_CsvFirstScreen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonFirstScreen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkdownFirstScreen)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

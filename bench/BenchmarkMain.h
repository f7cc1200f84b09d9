#pragma once

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <type_traits>

namespace tessaline {

// The main of a benchmark that needs a Qt application of type `App`. Pictures
// and widgets are drawn offscreen unless a platform is asked for; `prepare`
// builds what the benchmarks share once the application exists, before any
// timing starts.
template <typename App, typename Prepare>
int runBenchmarks(int argc, char **argv, Prepare &&prepare)
{
    if constexpr (!std::is_same_v<App, QCoreApplication>) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    App application(argc, argv);
    prepare();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

template <typename App>
int runBenchmarks(int argc, char **argv)
{
    return runBenchmarks<App>(argc, argv, [] {});
}

} // namespace tessaline

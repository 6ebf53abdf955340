// Benchmarks of the host application (Linux: on Qt's offscreen platform). See bench/run.sh.
//
// refresh_20: AppDelegate::refresh() with 20 templates, against Templates::load() of the same
//   folder (target: refresh <= 2 x load); refresh_20_with_cells adds the table's layout pass,
//   in which the delegate builds the forty fresh cells.
// start_to_window: a new process from start to its first filled window (seeding the starter set,
//   building and refreshing the window), taken as the whole run of lemvora-window-shot, which
//   also grabs the window and writes a PNG: an upper bound.
#include "AppDelegate.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path templates() {
    return fs::path(Templates::directory()).parent_path();
}

void fillTwenty() {
    fs::remove_all(templates());
    fs::create_directories(templates());
    for (int i = 1; i <= 20; ++i)
        std::ofstream(templates() /
                      (std::to_string(i * 10) + " Yeni Belge " + std::to_string(i) + ".txt"));
}

void load20(benchmark::State& state) {
    fillTwenty();
    for (auto _ : state)
        benchmark::DoNotOptimize(Templates::load());
}

// refresh() of a built window; with `cellsTimed`, the layout pass that follows (in which the
// delegate makes the cells) is timed too, else it runs untimed so no work piles up.
void refreshTwenty(benchmark::State& state, bool cellsTimed) {
    fillTwenty();
    lemvora::AppDelegate delegate;
    delegate.buildWindow();
    platform::Application::sharedApplication().runLoopOnce();
    for (auto _ : state) {
        delegate.refresh();
        if (!cellsTimed)
            state.PauseTiming();
        platform::Application::sharedApplication().runLoopOnce();
        if (!cellsTimed)
            state.ResumeTiming();
    }
}

void refresh20(benchmark::State& state) {
    refreshTwenty(state, false);
}
void refresh20Drawn(benchmark::State& state) {
    refreshTwenty(state, true);
}

void startToWindow(benchmark::State& state) {
    const char* shot = std::getenv("LEMVORA_WINDOW_SHOT");
    if (shot == nullptr || access(shot, X_OK) != 0) {
        state.SkipWithError("no lemvora-window-shot here (Linux's)");
        return;
    }
    const std::string picture = std::string(std::getenv("LEMVORA_TEST_WORK")) + "/shot.png";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(templates()); // a first start: the starter set is seeded
        state.ResumeTiming();
        const pid_t pid = fork();
        if (pid == 0) {
            execl(shot, shot, picture.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("lemvora-window-shot failed");
    }
}

} // namespace

BENCHMARK(load20)->Name("load_20")->Unit(benchmark::kMicrosecond);
BENCHMARK(refresh20)->Name("refresh_20")->Unit(benchmark::kMicrosecond);
BENCHMARK(refresh20Drawn)->Name("refresh_20_with_cells")->Unit(benchmark::kMicrosecond);
BENCHMARK(startToWindow)->Name("start_to_window")->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    platform::Application::sharedApplication();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Benchmarks of the catalogue. Run through bench/run.sh, which gives the process a fake home.
//
// load(): the scan of folders of 20 to 100,000 regular files (with subfolders and hidden files
// mixed in), against a baseline that only lists the same folder with readdir and d_type and keeps
// the names of the regular files.
#include "Templates.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path workFolder() {
    const char* work = std::getenv("LEMVORA_TEST_WORK");
    if (work == nullptr) {
        std::fprintf(stderr, "run through bench/run.sh\n");
        std::exit(2);
    }
    return work;
}

const fs::path& templatesFolder() {
    static const fs::path folder = fs::path(Templates::directory()).parent_path();
    return folder;
}

// A folder of n regular files with names in no particular order, plus n/100 subfolders and
// n/100 hidden files (at least one of each).
fs::path makeFolder(std::size_t n) {
    fs::path folder = workFolder() / ("folder-" + std::to_string(n));
    fs::create_directories(folder);
    std::mt19937 random(static_cast<unsigned>(n));
    const char* words[] = {"Rapor", "Fatura", "Teklif", "Not", "Sunum", "Çizelge", "Mektup"};
    const char* extensions[] = {"txt", "docx", "xlsx", "md", "pptx"};
    for (std::size_t i = 0; i < n; ++i) {
        char name[96];
        std::snprintf(name, sizeof name, "%u %s %zu.%s", static_cast<unsigned>(random() % 1000),
                      words[random() % 7], i, extensions[random() % 5]);
        std::ofstream(folder / name).put('x');
    }
    for (std::size_t i = 0; i < std::max<std::size_t>(1, n / 100); ++i) {
        fs::create_directory(folder / ("Arşiv " + std::to_string(i)));
        std::ofstream(folder / (".gizli " + std::to_string(i)));
    }
    return folder;
}

std::vector<std::string> listRegularFiles(const fs::path& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    while (const dirent* entry = readdir(dir))
        if (entry->d_type == DT_REG && entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    closedir(dir);
    return names;
}

void baseline(benchmark::State& state, fs::path folder) {
    for (auto _ : state)
        benchmark::DoNotOptimize(listRegularFiles(folder));
}

void load(benchmark::State& state, fs::path folder) {
    fs::rename(folder, templatesFolder());
    for (auto _ : state)
        benchmark::DoNotOptimize(Templates::load());
    fs::rename(templatesFolder(), folder);
}

} // namespace

int main(int argc, char** argv) {
    setenv("LC_ALL", "tr_TR.UTF-8", 1);
    fs::create_directories(templatesFolder().parent_path());
    for (std::size_t n : {20u, 1000u, 10000u, 100000u}) {
        const fs::path folder = makeFolder(n);
        const std::string suffix = "/" + std::to_string(n);
        benchmark::RegisterBenchmark(("baseline_readdir" + suffix).c_str(), baseline, folder)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("load" + suffix).c_str(), load, folder)
            ->Unit(benchmark::kMicrosecond);
    }
    sync(); // the 112,000 new entries reach the disk before anything is timed
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Benchmarks of making a new document. Run through bench/run.sh.
//
// create_taken_1000: create() when the bare name and the numbers 2..1000 are taken, against a
//   baseline of 1,000 lstat calls plus one plain copy of the same file.
// copy_256MiB: create() of a 256 MiB template against `cp --reflink=auto` (on a Mac `cp -c`) of
//   the same file on the same file system; the child's peak RSS is reported as a counter. With
//   LEMVORA_BENCH_TARGET set to a folder, both copy into it instead (bench/exfat.sh: a real exFAT
//   volume, as a USB stick is).
#include "Templates.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#if defined(__APPLE__)
#include <copyfile.h>
#endif
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path work() {
    const char* w = std::getenv("LEMVORA_TEST_WORK");
    if (w == nullptr) {
        std::fprintf(stderr, "run through bench/run.sh\n");
        std::exit(2);
    }
    return w;
}

const fs::path templates() {
    return fs::path(Templates::directory()).parent_path();
}

Templates::Template onlyTemplate() {
    auto records = Templates::load();
    if (records.size() != 1)
        std::abort();
    return records[0];
}

void writeTemplate(const std::string& name, std::size_t size) {
    fs::remove_all(templates());
    fs::create_directories(templates());
    std::ofstream out(templates() / name, std::ios::binary);
    std::string block(1 << 20, 'x');
    for (std::size_t done = 0; done < size; done += block.size())
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - done)));
}

fs::path folderWithTakenNames(int taken) {
    fs::path folder = work() / "taken";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "Yeni Metin Belgesi.txt");
    for (int i = 2; i <= taken; ++i)
        std::ofstream(folder / ("Yeni Metin Belgesi " + std::to_string(i) + ".txt"));
    return folder;
}

void plainCopy(const fs::path& from, const fs::path& to) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
#if defined(__APPLE__)
    fcopyfile(in, out, nullptr, COPYFILE_DATA);
#else
    while (copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0) > 0) {
    }
#endif
    close(in);
    close(out);
}

void createTaken(benchmark::State& state) {
    writeTemplate("10 Yeni Metin Belgesi.txt", 4096);
    const auto t = onlyTemplate();
    const fs::path folder = folderWithTakenNames(1000);
    sync(); // each repetition times the names, not the writing back of the folder it just made
    for (auto _ : state) {
        const auto made = Templates::create(t, folder);
        state.PauseTiming();
        fs::remove(made);
        state.ResumeTiming();
    }
}

void baselineLstatAndCopy(benchmark::State& state) {
    writeTemplate("10 Yeni Metin Belgesi.txt", 4096);
    const auto t = onlyTemplate();
    const fs::path folder = folderWithTakenNames(1000);
    std::vector<fs::path> names{folder / "Yeni Metin Belgesi.txt"};
    for (int i = 2; i <= 1000; ++i)
        names.push_back(folder / ("Yeni Metin Belgesi " + std::to_string(i) + ".txt"));
    const fs::path target = folder / "Yeni Metin Belgesi 1001.txt";
    sync();
    for (auto _ : state) {
        struct stat st;
        for (const auto& name : names)
            benchmark::DoNotOptimize(lstat(name.c_str(), &st));
        plainCopy(t.url(), target);
        state.PauseTiming();
        fs::remove(target);
        state.ResumeTiming();
    }
}

constexpr std::size_t bigSize = std::size_t{256} << 20;

// Runs body in a child and returns the child's peak resident set in KiB.
template <class Body> long inChildPeakKiB(Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

// Times `copy` of the 256 MiB template into an empty folder, in a child process each time.
template <class Copy> void copyBig(benchmark::State& state, Copy copy) {
    writeTemplate("Büyük.bin", bigSize);
    const auto t = onlyTemplate();
    const char* target = std::getenv("LEMVORA_BENCH_TARGET");
    const fs::path folder = (target != nullptr ? fs::path(target) : work()) / "big";
    fs::create_directories(folder);
    sync();
    long peak = 0;
    for (auto _ : state) {
        peak = std::max(peak, inChildPeakKiB([&] { copy(t, folder); }));
        state.PauseTiming();
        fs::remove_all(folder);
        fs::create_directories(folder);
        sync();
        state.ResumeTiming();
    }
    state.counters["child_peak_rss_KiB"] = static_cast<double>(peak);
}

void copyCreate(benchmark::State& state) {
    copyBig(state, [](const Templates::Template& t, const fs::path& folder) {
        Templates::create(t, folder);
    });
}

void copyCp(benchmark::State& state) {
    copyBig(state, [](const Templates::Template& t, const fs::path& folder) {
    // A clone where the file system has clones, as the document's copy: GNU cp's reflink,
    // macOS cp's -c (clonefile).
#if defined(__APPLE__)
        const char* clone = "-c";
#else
        const char* clone = "--reflink=auto";
#endif
        execl("/bin/cp", "cp", clone, t.url().c_str(), (folder / "Büyük.bin").c_str(), nullptr);
    });
}

} // namespace

BENCHMARK(baselineLstatAndCopy)
    ->Name("baseline_1000_lstat_plus_copy")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(createTaken)->Name("create_taken_1000")->Unit(benchmark::kMicrosecond);
BENCHMARK(copyCp)->Name("cp_reflink_auto_256MiB")->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(copyCreate)->Name("create_copy_256MiB")->Unit(benchmark::kMillisecond)->Iterations(8);

BENCHMARK_MAIN();

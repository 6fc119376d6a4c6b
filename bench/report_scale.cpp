// The batch report at scale: a batch of 100,000 files that were never
// measured (missing on the share: no figures, no series) and 10 measured
// commercials, written as CSV, HTML and PDF. Prints, for each format, the
// wall and CPU time, the file's size and the process's peak resident memory
// while writing it (the batch itself included).
//
// Targets: under 200 MB peak and under a minute for CSV and HTML.
//
//   sonivate-report-bench [--missing N] [--measured N] [--dir FOLDER] [--keep]
//
// Measured (Release, 2 shared cores, 100,010 rows):
//   CSV    0.15 s  peak 100 MiB  22 MB
//   HTML   0.34 s  peak 109 MiB  38 MB
//   PDF   21.2 s   peak 162 MiB  13 MB, 3,852 pages (a page per measured row
//                                and the table; was 51,476 pages)

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "report/batch_report.h"
#include "report/sample_report.h"

namespace {

constexpr size_t kDefaultMissing = 100000;
constexpr size_t kDefaultMeasured = 10;
constexpr double kMeasuredSeconds = 60.0;
constexpr double kKiBPerMiB = 1024.0;
constexpr double kBytesPerMiB = 1024.0 * 1024.0;

// Peak resident memory since the last reset, in KiB. Linux lets a process
// reset its own high-water mark (to what is resident now), so each format
// reports its own peak, the batch in memory included.
void ResetPeakMemory() {
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
}

long PeakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& pTime) {
        return static_cast<double>(pTime.tv_sec) + static_cast<double>(pTime.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double FileMiB(const std::string& pPath) {
    struct stat info {};
    return ::stat(pPath.c_str(), &info) == 0 ? static_cast<double>(info.st_size) / kBytesPerMiB : 0.0;
}

sonivate::report::BatchReport ScaleBatch(size_t pMissing, size_t pMeasured) {
    sonivate::report::BatchReport batch = sonivate::test::SampleReport(pMeasured, kMeasuredSeconds);
    batch.Rows.reserve(pMeasured + pMissing);
    for (size_t i = 0; i < pMissing; ++i) {
        sonivate::report::FileRow row;
        char number[32];
        std::snprintf(number, sizeof(number), "%06zu", i);
        row.Title = std::string("CM_missing_") + number;
        row.Path = "/mnt/share/cm/in/" + row.Title + ".wav";
        row.ReasonCode = "not_found";
        row.ReasonText = "the file does not exist";
        batch.Rows.push_back(std::move(row));
    }
    return batch;
}

}  // namespace

int main(int argc, char** argv) {
    size_t missing = kDefaultMissing;
    size_t measured = kDefaultMeasured;
    std::string folder = "/tmp";
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--missing" && i + 1 < argc)
            missing = std::strtoul(argv[++i], nullptr, 10);
        else if (arg == "--measured" && i + 1 < argc)
            measured = std::strtoul(argv[++i], nullptr, 10);
        else if (arg == "--dir" && i + 1 < argc)
            folder = argv[++i];
        else if (arg == "--keep")
            keep = true;
        else {
            std::fprintf(stderr, "usage: %s [--missing N] [--measured N] [--dir FOLDER] [--keep]\n", argv[0]);
            return 2;
        }
    }

    ResetPeakMemory();
    const auto built = std::chrono::steady_clock::now();
    const sonivate::report::BatchReport batch = ScaleBatch(missing, measured);
    std::printf("batch: %zu rows (%zu measured, %zu never measured), built in %.2f s, resident %.1f MiB\n",
                batch.Rows.size(), measured, missing,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - built).count(),
                static_cast<double>(ResidentKiB()) / kKiBPerMiB);
    std::printf("%-6s %10s %10s %12s %14s\n", "format", "wall s", "cpu s", "size MiB", "peak RSS MiB");

    int status = 0;
    const std::string base = folder + "/sonivate_report_scale_" + std::to_string(::getpid());
    for (const char* extension : {"csv", "html", "pdf"}) {
        const std::string path = base + "." + extension;
        ResetPeakMemory();
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const sonivate::report::ReportResult result = sonivate::report::WriteReport(batch, path);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpuUsed = CpuSeconds() - cpu;
        const long peak = PeakMemoryKiB();
        if (!result.ok()) {
            std::printf("%-6s failed: status %d, errno %d (%s)\n", extension, static_cast<int>(result.Status),
                        result.Errno, std::strerror(result.Errno));
            status = 1;
            continue;
        }
        std::printf("%-6s %10.2f %10.2f %12.1f %14.1f\n", extension, wall, cpuUsed, FileMiB(path),
                    static_cast<double>(peak) / kKiBPerMiB);
        std::fflush(stdout);
        if (keep)
            std::printf("       kept %s\n", path.c_str());
        else
            ::unlink(path.c_str());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("process peak RSS (getrusage): %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / kKiBPerMiB);
    return status;
}

// fontconfig, cairo and pango keep their font caches for the life of the
// process; a sanitizer build must not count them as the report's leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libcairo.so\nleak:libpango-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libpangocairo-1.0.so\nleak:libglib-2.0.so\nleak:libharfbuzz.so\n";
}

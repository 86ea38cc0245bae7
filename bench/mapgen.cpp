// Times the Bmp->Map job on a full-map picture (6144 x 4096) against copying a complete terrain
// file (77,070,336 bytes) in the same run, and measures the job's peak memory.
//
// Usage: bench_mapgen WORKDIR [VORLAK]
//   Writes map0.mul (random bytes) and colors.gif into WORKDIR, and with VORLAK also big.bmp,
//   on which it then times `VORLAK bmp2map`, program start and picture decoding included.
//   Each job runs in a child process, so that its peak resident size is its own. Wall times are
//   the medians of 5 rounds; processor times (user + system) are given beside them, as they
//   suffer less from other work on the machine.
#include "mapgen/MapGen.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "mul/World.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 5;
constexpr uint64_t kMapBytes = uint64_t{vorlak::world::kBlocks} * vorlak::kMapBlockBytes;
constexpr int32_t kW = vorlak::world::kWidth, kH = vorlak::world::kHeight;

// The palette of examples/colors.gif, as a 12 x 1 GIF.
const unsigned char kPaletteGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x0C, 0x00, 0x01, 0x00, 0xB3, 0x00, 0x00, 0x00, 0xA0,
    0x00, 0x8C, 0x5A, 0x28, 0x80, 0x80, 0x80, 0x00, 0x5A, 0x00, 0x00, 0x00, 0xC8, 0xE6, 0x3C,
    0x00, 0xFF, 0xFF, 0xFF, 0x3C, 0x3C, 0x3C, 0xE6, 0xD2, 0x82, 0xB4, 0xB4, 0xA0, 0x5A, 0x6E,
    0x3C, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x01, 0x00, 0x00, 0x04, 0x0A, 0x10, 0x04,
    0x31, 0x48, 0x31, 0x07, 0x25, 0xA8, 0x56, 0x04, 0x00, 0x3B};

const int32_t kColours[13] = {
    vorlak::Rgb(0x00, 0xA0, 0x00), vorlak::Rgb(0x8C, 0x5A, 0x28), vorlak::Rgb(0x80, 0x80, 0x80),
    vorlak::Rgb(0x00, 0x5A, 0x00), vorlak::Rgb(0x00, 0x00, 0xC8), vorlak::Rgb(0xE6, 0x3C, 0x00),
    vorlak::Rgb(0xFF, 0xFF, 0xFF), vorlak::Rgb(0x3C, 0x3C, 0x3C), vorlak::Rgb(0xE6, 0xD2, 0x82),
    vorlak::Rgb(0xB4, 0xB4, 0xA0), vorlak::Rgb(0x5A, 0x6E, 0x3C), vorlak::Rgb(0xFF, 0x00, 0xFF),
    vorlak::Rgb(0x12, 0x34, 0x56),  // of no kind
};

// Patches of every kind and of no kind, the size of small landscape features.
int32_t ColourAt(int32_t x, int32_t y) {
    uint32_t h =
        static_cast<uint32_t>(x / 37) * 2654435761u ^ static_cast<uint32_t>(y / 29) * 40503u;
    return kColours[(h >> 7) % 13];
}

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

double CpuSeconds(const struct rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// User and system time of this process so far.
double CpuSeconds() {
    struct rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return CpuSeconds(u);
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

[[noreturn]] void Fail(const std::string& what) {
    std::perror(what.c_str());
    std::exit(1);
}

// A plain copy through a 1 MiB buffer into a new file, as a file manager does it.
void CopyFile(const std::string& from, const std::string& to) {
    std::remove(to.c_str());
    FILE* in = std::fopen(from.c_str(), "rb");
    FILE* out = std::fopen(to.c_str(), "wb");
    if (!in || !out) Fail("copy " + from);
    std::vector<char> buffer(1 << 20);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        if (std::fwrite(buffer.data(), 1, n, out) != n) Fail("write " + to);
    }
    std::fclose(in);
    if (std::fclose(out) != 0) Fail("close " + to);
}

void WriteMap(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937 rng(1);
    std::vector<uint32_t> chunk(1 << 18);
    for (uint64_t done = 0; done < kMapBytes;) {
        for (auto& word : chunk) word = static_cast<uint32_t>(rng());
        auto n = std::min<uint64_t>(kMapBytes - done, chunk.size() * 4);
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(n));
        done += n;
    }
}

// The full-map picture as a 24-bit BMP.
void WriteBmp(const std::string& path) {
    const uint32_t stride = static_cast<uint32_t>(kW) * 3,
                   body = stride * static_cast<uint32_t>(kH);
    unsigned char head[54] = {'B', 'M'};
    auto put = [&](int at, uint32_t v) { std::memcpy(head + at, &v, 4); };
    put(2, 54 + body);
    put(10, 54);
    put(14, 40);
    put(18, static_cast<uint32_t>(kW));
    put(22, static_cast<uint32_t>(kH));
    head[26] = 1;
    head[28] = 24;
    put(34, body);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(head), sizeof head);
    std::vector<unsigned char> row(stride);
    for (int32_t y = kH - 1; y >= 0; --y) {  // bottom-up
        for (int32_t x = 0; x < kW; ++x) {
            int32_t c = ColourAt(x, y);
            row[3 * x] = static_cast<unsigned char>(c >> 16);
            row[3 * x + 1] = static_cast<unsigned char>(c >> 8);
            row[3 * x + 2] = static_cast<unsigned char>(c);
        }
        out.write(reinterpret_cast<const char*>(row.data()), stride);
    }
}

struct Measured {
    double seconds = 1e9;  // wall time
    double cpu = 1e9;      // user + system time
    long peakKiB = 0;      // peak resident size of the process
    long startKiB = 0;     // its resident size before the job's data was made
};

// The rounds of one measurement; Median() gives the median times and the highest memory.
struct Rounds {
    std::vector<Measured> all;
    Measured Median() const {
        std::vector<double> seconds, cpu;
        Measured m;
        m.seconds = m.cpu = 0;
        for (const Measured& r : all) {
            seconds.push_back(r.seconds);
            cpu.push_back(r.cpu);
            m.peakKiB = std::max(m.peakKiB, r.peakKiB);
            m.startKiB = std::max(m.startKiB, r.startKiB);
        }
        std::sort(seconds.begin(), seconds.end());
        std::sort(cpu.begin(), cpu.end());
        if (!all.empty()) {
            m.seconds = seconds[seconds.size() / 2];
            m.cpu = cpu[cpu.size() / 2];
        }
        return m;
    }
};

void Keep(Rounds& rounds, const Measured& m) { rounds.all.push_back(m); }

// Runs `job` in a child process. The child reports its own times through a pipe; a child that
// reports nothing (a program it started) is timed whole.
template <class Job>
Measured InChild(Job job) {
    int fds[2];
    if (::pipe(fds) != 0) Fail("pipe");
    std::fflush(nullptr);  // or the child's stdio would print the parent's buffered lines again
    auto start = Clock::now();
    pid_t pid = ::fork();
    if (pid < 0) Fail("fork");
    if (pid == 0) {
        ::close(fds[0]);
        Measured m = job();
        if (::write(fds[1], &m, sizeof m) != sizeof m) _exit(3);
        _exit(0);
    }
    ::close(fds[1]);
    Measured reported;
    ssize_t got = ::read(fds[0], &reported, sizeof reported);
    ::close(fds[0]);
    int status = 0;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) < 0) Fail("wait4");
    double whole = Seconds(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "job failed (status %d)\n", status);
        std::exit(1);
    }
    if (got != sizeof reported) {
        reported.seconds = whole;
        reported.cpu = CpuSeconds(usage);
    }
    reported.peakKiB = usage.ru_maxrss;
    return reported;
}

Measured RunJob(const std::string& target) {
    Measured m;
    m.startKiB = ResidentKiB();
    vorlak::MemoryPicture picture(kW, kH);
    for (int32_t y = 0; y < kH; ++y) {
        for (int32_t x = 0; x < kW; ++x) picture.setPixel(x, y, ColourAt(x, y));
    }
    vorlak::MemoryPicture colours(12, 1);
    for (int32_t k = 0; k < 12; ++k) colours.setPixel(k, 0, kColours[k]);
    vorlak::Bmp2MapRequest request;
    request.map = target;
    request.seed = 1;
    int32_t rows = 0;
    vorlak::Bmp2MapHooks hooks;
    hooks.status = [&](const std::string&) { ++rows; };  // once per row, as the window does
    auto start = Clock::now();
    double cpu = CpuSeconds();
    auto outcome = vorlak::RunBmp2Map(request, &colours, &picture, hooks);
    m.seconds = Seconds(start);
    m.cpu = CpuSeconds() - cpu;
    if (outcome.result != vorlak::Bmp2MapOutcome::Result::kDone || rows != kH + 1) _exit(4);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WORKDIR [VORLAK]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::string source = dir + "/map0.mul", target = dir + "/target.mul";
    const std::string palette = dir + "/colors.gif", bitmap = dir + "/big.bmp";
    WriteMap(source);
    {
        std::ofstream out(palette, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(kPaletteGif), sizeof kPaletteGif);
    }
    if (argc > 2) WriteBmp(bitmap);
    CopyFile(source, target);  // warms the page cache for both files

    Rounds copyRounds;
    for (int i = 0; i < kRounds; ++i) {
        auto start = Clock::now();
        double cpu = CpuSeconds();
        CopyFile(source, target);
        Keep(copyRounds, {Seconds(start), CpuSeconds() - cpu, 0, 0});
    }

    Rounds jobRounds;
    for (int i = 0; i < kRounds; ++i) {
        CopyFile(source, target);
        Keep(jobRounds, InChild([&] { return RunJob(target); }));
    }
    const Measured copy = copyRounds.Median(), job = jobRounds.Median();

    const double pictureMiB = double(kW) * kH * 4 / (1 << 20);
    const double mapMiB = double(kMapBytes) / (1 << 20);
    const double startMiB = static_cast<double>(job.startKiB) / 1024;
    const double peakMiB = static_cast<double>(job.peakKiB) / 1024;
    std::printf("terrain file %llu bytes; picture %d x %d, %.1f MiB in memory; medians of %d\n",
                static_cast<unsigned long long>(kMapBytes), kW, kH, pictureMiB, kRounds);
    std::printf("anchor: copy of the terrain file: wall %.4f s, cpu %.4f s\n", copy.seconds,
                copy.cpu);
    std::printf(
        "Bmp->Map, full-map picture: wall %.4f s = %.2fx the copy, cpu %.4f s = %.2fx "
        "(limit 10x)\n",
        job.seconds, job.seconds / copy.seconds, job.cpu, job.cpu / copy.cpu);
    std::printf(
        "peak memory %.1f MiB = %.1f MiB program before the job + %.1f MiB picture and "
        "job (limit picture + terrain file = %.1f MiB)\n",
        peakMiB, startMiB, peakMiB - startMiB, pictureMiB + mapMiB);

    if (argc > 2) {
        const std::string vorlak = argv[2];
        Rounds cliRounds;
        for (int i = 0; i < kRounds; ++i) {
            CopyFile(source, target);
            Keep(cliRounds, InChild([&]() -> Measured {
                     if (!std::freopen("/dev/null", "w", stdout)) _exit(6);
                     ::execl(vorlak.c_str(), vorlak.c_str(), "bmp2map", "--bitmap", bitmap.c_str(),
                             "--palette", palette.c_str(), "--map", target.c_str(), "--seed", "1",
                             static_cast<char*>(nullptr));
                     _exit(5);
                 }));
        }
        const Measured cli = cliRounds.Median();
        std::printf(
            "vorlak bmp2map on a 6144 x 4096 BMP, start and decoding included: wall "
            "%.4f s = %.2fx the copy, cpu %.4f s = %.2fx; peak %.1f MiB\n",
            cli.seconds, cli.seconds / copy.seconds, cli.cpu, cli.cpu / copy.cpu,
            static_cast<double>(cli.peakKiB) / 1024);
    }
    return 0;
}

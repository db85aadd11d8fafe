// decode_bench DIR [ROUNDS]: the converter's decode path (OggSource::readAll into one buffer
// of size() bytes per file) against a bare ov_read loop into a 4 KiB scratch buffer, over
// every .ogg file in DIR. Rounds alternate which side goes first, so neither always runs on
// the caches the other left; the figures are medians of the per-round corpus totals. On a
// busy machine whichever side goes first tends to lose a few percent, so the balanced ratio
// weighs both orders equally, whatever the number of rounds.
#include "sondrel/audio/ogg_source.h"

#include <vorbis/vorbisfile.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int kRequest = 4096;

struct Pass {
    double seconds = 0;
    double cpuSeconds = 0;  // user + system: on a shared machine, less sensitive than wall time
    uint64_t bytes = 0;
};

// FNV-1a: enough to tell whether both sides produced the same samples.
uint64_t fnv(uint64_t hash, const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

const uint64_t kFnvBasis = 14695981039346656037ull;

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double mib(uint64_t bytes) {
    return static_cast<double>(bytes) / 1048576.0;
}

// The converter's way: one exact-size buffer per file, not zeroed, freed once decoded.
uint64_t decodeWithSource(const std::string& path, uint64_t* hash) {
    sondrel::OggSource source(path, true);
    uint32_t size = source.size();
    std::unique_ptr<char[]> buffer(new char[size]);
    source.readAll(buffer.get(), size);
    if (hash)
        *hash = fnv(kFnvBasis, buffer.get(), size);
    return size;
}

// The floor: libvorbisfile alone, output thrown away. Returns -1 when the file will not open.
int64_t decodeBare(const std::string& path, uint64_t* hash) {
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0)
        return -1;
    static char scratch[kRequest];
    int section = 0;
    int64_t total = 0;
    long got;
    while ((got = ov_read(&vf, scratch, kRequest, 0, 2, 1, &section)) > 0) {
        total += got;
        if (hash)
            *hash = fnv(*hash, scratch, static_cast<size_t>(got));
    }
    ov_clear(&vf);
    return total;
}

// Times one decode of every file, wall and CPU.
template <typename Decode>
Pass timePass(const std::vector<std::string>& files, Decode decode) {
    Pass pass;
    double cpuStart = cpuSeconds();
    Clock::time_point start = Clock::now();
    for (const std::string& path : files)
        pass.bytes += static_cast<uint64_t>(decode(path, nullptr));
    pass.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    pass.cpuSeconds = cpuSeconds() - cpuStart;
    return pass;
}

Pass runSource(const std::vector<std::string>& files) {
    return timePass(files, decodeWithSource);
}

Pass runBare(const std::vector<std::string>& files) {
    return timePass(files, decodeBare);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: decode_bench DIR [ROUNDS]\n");
        return 2;
    }
    int rounds = argc == 3 ? std::atoi(argv[2]) : 5;
    if (rounds < 1) {
        std::fprintf(stderr, "decode_bench: ROUNDS must be at least 1\n");
        return 2;
    }

    std::vector<std::string> listed;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1], error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".ogg")
            listed.push_back(entry.path().string());
    }
    if (error) {
        std::fprintf(stderr, "decode_bench: %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }
    std::sort(listed.begin(), listed.end());
    long baseRss = peakRssKiB();

    // Untimed first pass: warms the page cache, drops files either side refuses, and checks
    // that both sides decode the same samples.
    std::vector<std::string> files;
    uint64_t largest = 0;
    std::string largestName;
    int mismatches = 0;
    for (const std::string& path : listed) {
        uint64_t sourceHash = 0;
        uint64_t bareHash = kFnvBasis;
        uint64_t sourceBytes;
        try {
            sourceBytes = decodeWithSource(path, &sourceHash);
        } catch (const char* what) {
            std::fprintf(stderr, "decode_bench: skipped %s: %s\n", path.c_str(), what);
            continue;
        }
        int64_t bareBytes = decodeBare(path, &bareHash);
        if (bareBytes < 0) {
            std::fprintf(stderr, "decode_bench: skipped %s: ov_fopen failed\n", path.c_str());
            continue;
        }
        if (sourceBytes != static_cast<uint64_t>(bareBytes) || sourceHash != bareHash) {
            if (++mismatches <= 5)
                std::fprintf(stderr, "decode_bench: WARNING: %s: OggSource %llu bytes, bare loop %lld bytes%s\n",
                             path.c_str(), static_cast<unsigned long long>(sourceBytes),
                             static_cast<long long>(bareBytes),
                             sourceBytes == static_cast<uint64_t>(bareBytes) ? ", samples differ" : "");
        }
        if (sourceBytes > largest) {
            largest = sourceBytes;
            largestName = path;
        }
        files.push_back(path);
    }
    if (files.empty()) {
        std::fprintf(stderr, "decode_bench: no usable .ogg files in %s\n", argv[1]);
        return 1;
    }
    if (mismatches)
        std::fprintf(stderr, "decode_bench: WARNING: %d file(s) decoded differently\n", mismatches);

    std::printf("decode_bench: %zu files, %d rounds\n", files.size(), rounds);
    std::printf("  %-5s %-10s %12s %12s %8s %10s %10s\n", "round", "first", "OggSource s", "bare s", "ratio",
                "CPU a s", "CPU b s");
    std::vector<double> sourceTimes, bareTimes, sourceCpu, bareCpu;
    std::vector<double> sourceFirstRatios, bareFirstRatios;
    uint64_t sourceBytes = 0, bareBytes = 0;
    for (int round = 0; round < rounds; ++round) {
        Pass source, bare;
        bool sourceFirst = round % 2 == 0;
        if (sourceFirst) {
            source = runSource(files);
            bare = runBare(files);
        } else {
            bare = runBare(files);
            source = runSource(files);
        }
        (sourceFirst ? sourceFirstRatios : bareFirstRatios).push_back(source.seconds / bare.seconds);
        sourceTimes.push_back(source.seconds);
        sourceCpu.push_back(source.cpuSeconds);
        bareCpu.push_back(bare.cpuSeconds);
        bareTimes.push_back(bare.seconds);
        sourceBytes = source.bytes;
        bareBytes = bare.bytes;
        std::printf("  %-5d %-10s %12.3f %12.3f %8.4f %10.3f %10.3f\n", round + 1, sourceFirst ? "OggSource" : "bare",
                    source.seconds, bare.seconds, source.seconds / bare.seconds, source.cpuSeconds, bare.cpuSeconds);
    }

    double sourceMedian = median(sourceTimes);
    double bareMedian = median(bareTimes);
    std::printf("median       (a) OggSource+readAll %.3f s   (b) bare ov_read %.3f s   ratio a/b %.4f\n",
                sourceMedian, bareMedian, sourceMedian / bareMedian);
    // Geometric mean of the two orders' median ratios: a bias toward either position cancels.
    double balanced = bareFirstRatios.empty()
                          ? median(sourceFirstRatios)
                          : std::sqrt(median(sourceFirstRatios) * median(bareFirstRatios));
    std::printf("balanced     ratio a/b %.4f (OggSource first %.4f, bare first %.4f; medians of per-round ratios)\n",
                balanced, median(sourceFirstRatios),
                bareFirstRatios.empty() ? std::nan("") : median(bareFirstRatios));
    std::printf("CPU time     (a) %.3f s   (b) %.3f s   ratio a/b %.4f (medians, user + system)\n",
                median(sourceCpu), median(bareCpu), median(sourceCpu) / median(bareCpu));
    std::printf("PCM decoded  (a) %llu bytes (%.1f MiB)   (b) %llu bytes (%.1f MiB) per round\n",
                static_cast<unsigned long long>(sourceBytes), mib(sourceBytes),
                static_cast<unsigned long long>(bareBytes), mib(bareBytes));
    if (sourceBytes != bareBytes)
        std::printf("WARNING: the two sides decoded different amounts of PCM\n");
    std::printf("throughput   (a) %.1f MiB/s   (b) %.1f MiB/s of PCM\n", mib(sourceBytes) / sourceMedian,
                mib(bareBytes) / bareMedian);
    std::printf("memory       peak RSS %.1f MiB (%.1f MiB before decoding)   largest PCM buffer %.1f MiB (%s)\n",
                peakRssKiB() / 1024.0, baseRss / 1024.0, mib(largest),
                std::filesystem::path(largestName).filename().string().c_str());
    return 0;
}

// Encodes test streams with the kit's own encoder; edits pages and recomputes Ogg checksums.
#include "tests/support/ogg_fixture.h"

#include "mkpatch/vorbis_encoder.h"

#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace fixture {

namespace {

const double kPi = 3.14159265358979323846;

uint32_t oggCrc(const unsigned char* data, size_t size) {
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

size_t pageLength(const std::string& ogg, size_t at) {
    size_t segments = static_cast<unsigned char>(ogg.at(at + 26));
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i)
        body += static_cast<unsigned char>(ogg.at(at + 27 + i));
    return 27 + segments + body;
}

void mendChecksum(std::string& ogg, size_t at) {
    size_t length = pageLength(ogg, at);
    for (int i = 0; i < 4; ++i)
        ogg[at + 22 + i] = 0;
    uint32_t crc = oggCrc(reinterpret_cast<const unsigned char*>(ogg.data() + at), length);
    for (int i = 0; i < 4; ++i)
        ogg[at + 22 + i] = static_cast<char>(crc >> (8 * i));
}

}  // namespace

std::vector<int16_t> tones(int channels, int rate, long frames) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    for (long f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            double t = static_cast<double>(f) / rate;
            double v = 0.4 * std::sin(2 * kPi * (220.0 * (c + 1)) * t) + 0.2 * std::sin(2 * kPi * 1375.0 * t);
            samples[static_cast<size_t>(f) * channels + c] = static_cast<int16_t>(v * 32767);
        }
    return samples;
}

std::string encodeVorbis(int channels, int rate, const std::vector<int16_t>& samples, int serial) {
    std::string ogg, error;
    if (!mkpatch::encodeVorbis(channels, rate, samples.data(), samples.size() / channels, 0.4f, serial, ogg, error))
        throw std::runtime_error(error);
    return ogg;
}

namespace {

struct MemoryStream {
    const std::string* bytes;
    size_t at;
};

size_t readMemory(void* ptr, size_t size, size_t count, void* source) {
    MemoryStream* stream = static_cast<MemoryStream*>(source);
    size_t wanted = size * count, left = stream->bytes->size() - stream->at;
    size_t n = wanted < left ? wanted : left;
    std::memcpy(ptr, stream->bytes->data() + stream->at, n);
    stream->at += n;
    return size ? n / size : 0;
}

}  // namespace

std::string decodeVorbis(const std::string& ogg) {
    MemoryStream stream = {&ogg, 0};
    ov_callbacks callbacks = {readMemory, nullptr, nullptr, nullptr};
    OggVorbis_File vf;
    if (ov_open_callbacks(&stream, &vf, nullptr, 0, callbacks) != 0)
        throw std::runtime_error("not an Ogg Vorbis stream");
    std::string pcm;
    char scratch[4096];
    int section = 0;
    long r;
    while ((r = ov_read(&vf, scratch, sizeof scratch, 0, 2, 1, &section)) > 0)
        pcm.append(scratch, static_cast<size_t>(r));
    ov_clear(&vf);
    return pcm;
}

std::vector<size_t> oggPages(const std::string& ogg) {
    std::vector<size_t> pages;
    for (size_t at = 0; at + 27 <= ogg.size(); at += pageLength(ogg, at)) {
        if (ogg.compare(at, 4, "OggS") != 0)
            throw std::runtime_error("not an Ogg page boundary");
        pages.push_back(at);
    }
    return pages;
}

std::string withoutPage(const std::string& ogg, size_t index) {
    std::vector<size_t> pages = oggPages(ogg);
    size_t at = pages.at(index);
    return ogg.substr(0, at) + ogg.substr(at + pageLength(ogg, at));
}

std::string withLastGranule(const std::string& ogg, uint64_t granule) {
    std::string out = ogg;
    size_t at = oggPages(out).back();
    for (int i = 0; i < 8; ++i)
        out[at + 6 + i] = static_cast<char>(granule >> (8 * i));
    mendChecksum(out, at);
    return out;
}

std::string withSampleRate(const std::string& ogg, uint32_t rate) {
    std::string out = ogg;
    // First page: one segment, then the identification packet: type, "vorbis", version,
    // channels, rate.
    size_t packet = 27 + static_cast<unsigned char>(out.at(26));
    for (int i = 0; i < 4; ++i)
        out[packet + 12 + i] = static_cast<char>(rate >> (8 * i));
    mendChecksum(out, 0);
    return out;
}

}  // namespace fixture

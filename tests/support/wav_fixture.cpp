// Builders for hand-made WAV files.
#include "tests/support/wav_fixture.h"

namespace fixture {

std::string le16(uint32_t value) {
    return std::string{static_cast<char>(value), static_cast<char>(value >> 8)};
}

std::string le32(uint32_t value) {
    return le16(value & 0xFFFF) + le16(value >> 16);
}

std::string chunk(const std::string& tag, const std::string& body, bool pad) {
    std::string out = tag + le32(static_cast<uint32_t>(body.size())) + body;
    if (pad && body.size() % 2)
        out += '\0';
    return out;
}

std::string chunkClaiming(const std::string& tag, uint32_t length, const std::string& body) {
    return tag + le32(length) + body;
}

std::string riff(const std::vector<std::string>& chunks) {
    std::string body = "WAVE";
    for (const std::string& c : chunks)
        body += c;
    return "RIFF" + le32(static_cast<uint32_t>(body.size())) + body;
}

std::string fmtBody(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& extra, uint16_t tag) {
    uint16_t align = static_cast<uint16_t>(channels * ((bits + 7) / 8));
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits) + extra;
}

std::string smplBody(const std::vector<Loop>& loops, uint32_t announced) {
    std::string body = le32(0) + le32(0) + le32(22675) + le32(60) + le32(0) + le32(0) + le32(0) + le32(announced) +
                       le32(0);
    uint32_t id = 0;
    for (const Loop& loop : loops)
        body += le32(id++) + le32(loop.type) + le32(loop.start) + le32(loop.end) + le32(0) + le32(loop.playCount);
    return body;
}

std::string smplBody(const std::vector<Loop>& loops) {
    return smplBody(loops, static_cast<uint32_t>(loops.size()));
}

std::string countingData(size_t bytes) {
    std::string data(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<char>(i % 251);
    return data;
}

}  // namespace fixture

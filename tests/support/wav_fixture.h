// Hand-made RIFF WAVE byte sequences, for what ordinary writers never produce.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

std::string le16(uint32_t value);
std::string le32(uint32_t value);

// A chunk: tag, length, body, and the pad byte RIFF asks after an odd length (unless `pad` is false).
std::string chunk(const std::string& tag, const std::string& body, bool pad = true);
// A chunk whose length field says `length`, whatever the body holds.
std::string chunkClaiming(const std::string& tag, uint32_t length, const std::string& body);
// "RIFF", size, "WAVE" and the chunks.
std::string riff(const std::vector<std::string>& chunks);
// A "fmt " body: PCM with the given layout, `extra` bytes appended (18-byte variants and so on).
std::string fmtBody(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& extra = "",
                    uint16_t tag = 1);

struct Loop {
    uint32_t start, end, playCount;  // frames, end inclusive
    uint32_t type = 0;
};
// A "smpl" body announcing `announced` loops (the records given follow) with MIDI unity note 60.
std::string smplBody(const std::vector<Loop>& loops, uint32_t announced);
std::string smplBody(const std::vector<Loop>& loops);

// Bytes 0, 1, 2, ... as 16-bit data: byte i of the data is i % 251, so a byte tells its offset.
std::string countingData(size_t bytes);

}  // namespace fixture

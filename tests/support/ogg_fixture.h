// Ogg Vorbis test files made with libvorbisenc, and byte-level edits of Ogg pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

// Interleaved 16-bit samples of a few mixed tones, `frames` per channel.
std::vector<int16_t> tones(int channels, int rate, long frames);

// An Ogg Vorbis stream of the samples (interleaved, `channels` wide).
std::string encodeVorbis(int channels, int rate, const std::vector<int16_t>& samples, int serial = 1);

// The whole stream decoded by libvorbisfile alone, as 16-bit little-endian PCM.
std::string decodeVorbis(const std::string& ogg);

// Byte offsets of every page of an Ogg stream.
std::vector<size_t> oggPages(const std::string& ogg);
// Removes page `index` (counting from 0).
std::string withoutPage(const std::string& ogg, size_t index);
// Sets the granule position of the last page and mends its checksum.
std::string withLastGranule(const std::string& ogg, uint64_t granule);
// Sets the sample rate in the identification header and mends the page checksum.
std::string withSampleRate(const std::string& ogg, uint32_t rate);

}  // namespace fixture

// Ogg Vorbis encoding of 16-bit PCM through libvorbisenc, for the sounds of a patch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mkpatch {

// Encodes `frames` interleaved frames of `channels` 16-bit samples at `rate` Hz with variable
// bit rate at `quality` (-0.1 to 1.0) into one logical stream numbered `serial`. The same
// input gives the same bytes. False with `error` set when the encoder refuses the format.
bool encodeVorbis(int channels, long rate, const int16_t* samples, size_t frames, float quality, int serial,
                  std::string& ogg, std::string& error);

}  // namespace mkpatch

// The chunk walk finds the format and the sample data; the samples are then read straight,
// without the sampler loops that WaveFile::readData would play.
#include "mkpatch/masters.h"

#include "mkpatch/vorbis_encoder.h"
#include "sondrel/audio/wave_file.h"

#include <vector>

namespace mkpatch {

namespace {

std::string formatName(uint16_t tag) {
    switch (tag) {
    case 0:
        return "no readable format";
    case 3:
        return "format tag 3 (floating point)";
    case 0xFFFE:
        return "format tag 0xFFFE (extensible)";
    default:
        return "format tag " + std::to_string(tag);
    }
}

}  // namespace

bool encodeMaster(const std::string& path, float quality, int serial, std::string& ogg, MasterSound& sound,
                  std::string& warning, std::string& error) {
    warning.clear();
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".wav") != 0) {
        error = path + ": a master's name must end in .wav";
        return false;
    }
    try {
        sondrel::WaveFile wave(path.substr(0, path.size() - 4), true);
        const sondrel::WaveFormat& format = *wave.format();
        if (format.formatTag != 1) {
            error = path + ": " + formatName(format.formatTag) + ", not 16-bit PCM";
            return false;
        }
        if (format.bitsPerSample != 16) {
            error = path + ": " + std::to_string(format.bitsPerSample) + "-bit PCM, not 16-bit";
            return false;
        }
        if (format.channels == 0 || format.sampleRate == 0 || format.blockAlign != format.channels * 2) {
            error = path + ": a 16-bit PCM header that does not add up";
            return false;
        }
        if (wave.hasLoops())
            warning = path + ": its sampler loops are dropped; the converter's WAV files carry none";
        sound.channels = format.channels;
        sound.rate = format.sampleRate;
        sound.frames = wave.dataSize() / format.blockAlign;
        std::vector<int16_t> samples(static_cast<size_t>(sound.frames) * sound.channels);
        wave.seek(static_cast<long>(wave.dataOffset()));
        if (!samples.empty() && !wave.read(samples.data(), static_cast<unsigned>(samples.size() * 2))) {
            error = path + ": cannot read its samples";
            return false;
        }
        if (!encodeVorbis(sound.channels, static_cast<long>(sound.rate), samples.data(), sound.frames, quality,
                          serial, ogg, error)) {
            error = path + ": " + error;
            return false;
        }
        return true;
    } catch (const char*) {
        error = path + ": cannot be read";
        return false;
    }
}

}  // namespace mkpatch

// WaveFile: header fields go through the stream one byte at a time, little-endian, tags as
// 32-bit values whose bytes spell them.
#include "sondrel/audio/wave_file.h"

#include <cstring>

namespace sondrel {

namespace {

const uint32_t kRiff = 0x46464952;  // "RIFF"
const uint32_t kWave = 0x45564157;  // "WAVE"
const uint32_t kFmt = 0x20746D66;   // "fmt "
const uint32_t kData = 0x61746164;  // "data"
const uint32_t kSmpl = 0x6C706D73;  // "smpl"

const uint32_t kSamplerHeaderSize = 36;
const uint32_t kLoopRecordSize = 24;

// Raised inside the walk when a chunk points past the end of the file; ends the chunk loop
// the way the end of the file does.
struct PastEnd {};

}  // namespace

WaveFile::WaveFile(const std::string& basePath, bool readMode)
    : file_(new FileStream(basePath, readMode)), dataOffset_(0), dataSize_(0), position_(0), hasLoops_(false),
      loopForever_(false), loopsDone_(0), loops_(nullptr), loopCount_(0) {
    std::memset(&format_, 0, sizeof format_);
    std::memset(&sampler_, 0, sizeof sampler_);
    try {
        file_->seek(0);
    } catch (...) {
        delete file_;
        throw;
    }
    if (file_->isReadMode()) {
        walkChunks();
        return;
    }
    writeValue(kRiff, 4);
    writeValue(36, 4);
    writeValue(kWave, 4);
    writeFormatAndSizes();
}

WaveFile::~WaveFile() {
    delete[] loops_;
    delete file_;
}

void WaveFile::writeValue(uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        char byte = static_cast<char>(value >> (8 * i));
        file_->writeByte(&byte);
    }
}

uint32_t WaveFile::readValue(int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        char byte = 0;
        file_->readByte(&byte);
        value |= static_cast<uint32_t>(static_cast<unsigned char>(byte)) << (8 * i);
    }
    return value;
}

// Offsets 12 to 43: the "fmt " chunk and the "data" chunk header.
void WaveFile::writeFormatAndSizes() {
    writeValue(kFmt, 4);
    writeValue(16, 4);
    writeValue(format_.formatTag, 2);
    writeValue(format_.channels, 2);
    writeValue(format_.sampleRate, 4);
    writeValue(format_.byteRate, 4);
    writeValue(format_.blockAlign, 2);
    writeValue(format_.bitsPerSample, 2);
    writeValue(kData, 4);
    writeValue(dataSize_, 4);
}

void WaveFile::setFormat(const WaveFormat& format) {
    format_ = format;
    file_->seek(4);
    writeValue(36 + dataSize_, 4);
    file_->seek(12);
    writeFormatAndSizes();
}

bool WaveFile::writeData(const void* data, uint32_t size) {
    dataSize_ += size;
    return file_->write(data, size);
}

// Moves past `length` bytes and, as RIFF asks, the pad byte that follows an odd length.
void WaveFile::skip(uint32_t length) {
    long here = 0;
    file_->tell(&here);
    uint64_t target = static_cast<uint64_t>(static_cast<uint32_t>(here)) + length + (length & 1);
    if (target > file_->size())
        throw PastEnd();
    file_->seek(static_cast<long>(target));
}

void WaveFile::walkChunks() {
    // Loops that were not checked against the data are never played.
    if (!runChunkWalk()) {
        hasLoops_ = false;
        loopForever_ = false;
    }
}

// False when a test stops the walk; what was read up to there stays.
bool WaveFile::runChunkWalk() {
    bool fmtSeen = false, dataSeen = false, smplSeen = false;
    if (readValue(4) != kRiff)
        return false;
    readValue(4);
    if (readValue(4) != kWave)
        return false;
    hasLoops_ = false;
    loopForever_ = false;
    try {
        for (;;) {
            uint32_t tag = readValue(4);
            uint32_t length = readValue(4);
            long here = 0;
            if (tag == kFmt) {
                if (fmtSeen) {
                    skip(length);
                    continue;
                }
                if (length < 16)
                    return false;
                format_.formatTag = static_cast<uint16_t>(readValue(2));
                if (format_.formatTag != 1)
                    return false;
                format_.channels = static_cast<uint16_t>(readValue(2));
                format_.sampleRate = readValue(4);
                format_.byteRate = readValue(4);
                format_.blockAlign = static_cast<uint16_t>(readValue(2));
                format_.bitsPerSample = static_cast<uint16_t>(readValue(2));
                skip(length - 16);
                fmtSeen = true;
            } else if (tag == kData) {
                if (dataSeen) {
                    skip(length);
                    continue;
                }
                file_->tell(&here);
                dataOffset_ = static_cast<uint32_t>(here);
                // A data chunk cut short by the end of the file holds only what is there.
                uint32_t available = file_->size() > dataOffset_ ? file_->size() - dataOffset_ : 0;
                dataSize_ = length < available ? length : available;
                dataSeen = true;
                skip(length);
            } else if (tag == kSmpl) {
                if (smplSeen) {
                    skip(length);
                    continue;
                }
                file_->tell(&here);
                uint32_t chunkStart = static_cast<uint32_t>(here);
                uint32_t* fields = &sampler_.manufacturer;
                for (int i = 0; i < 9; ++i)
                    fields[i] = readValue(4);
                if (sampler_.loopCount > 0) {
                    if (loops_)
                        return false;
                    // The count is not trusted beyond what the chunk's length, and the bytes
                    // the file really has after the header, can hold.
                    uint32_t held = length;
                    uint32_t left = file_->size() > chunkStart + kSamplerHeaderSize ? file_->size() - chunkStart : 0;
                    if (held > left)
                        held = left;
                    uint32_t room = held > kSamplerHeaderSize ? (held - kSamplerHeaderSize) / kLoopRecordSize : 0;
                    loopCount_ = sampler_.loopCount < room ? sampler_.loopCount : room;
                    if (loopCount_ > 0) {
                        loops_ = new WaveLoop[loopCount_];
                        for (uint32_t i = 0; i < loopCount_; ++i) {
                            uint32_t* loop = &loops_[i].identifier;
                            for (int f = 0; f < 6; ++f)
                                loop[f] = readValue(4);
                            if (loops_[i].playCount == 0)
                                loopForever_ = true;
                        }
                        hasLoops_ = true;
                    }
                }
                file_->seek(static_cast<long>(chunkStart));
                skip(length);
                smplSeen = true;
            } else {
                if (length == 0)
                    break;
                skip(length);
            }
        }
    } catch (const PastEnd&) {
    } catch (const char*) {
    }

    if (!fmtSeen || !dataSeen)
        return false;
    file_->seek(static_cast<long>(dataOffset_));
    for (uint32_t i = 0; i < loopCount_; ++i) {
        uint64_t start = static_cast<uint64_t>(loops_[i].start) * format_.blockAlign;
        uint64_t end = static_cast<uint64_t>(loops_[i].end) * format_.blockAlign;
        if (start >= dataSize_ || end >= dataSize_) {
            if (i == 0)
                return false;  // the first loop is the one played: without it, no looping
            break;
        }
        loops_[i].start = static_cast<uint32_t>(start);
        loops_[i].end = static_cast<uint32_t>(end);
    }
    position_ = 0;
    return true;
}

void WaveFile::readAt(uint32_t position, char* buffer, uint32_t count) {
    file_->seek(static_cast<long>(dataOffset_ + position));
    file_->read(buffer, count);
}

void WaveFile::readData(void* buffer, uint32_t size) {
    char* out = static_cast<char*>(buffer);
    if (position_ > dataSize_)
        return;
    if (!hasLoops_) {
        uint32_t n = size < dataSize_ - position_ ? size : dataSize_ - position_;
        if (n == 0)
            return;
        readAt(position_, out, n);
        position_ += n;
        return;
    }
    const WaveLoop& loop = loops_[0];
    // The region ends after the loop's last frame, and never past the data.
    uint64_t regionEnd = static_cast<uint64_t>(loop.end) + format_.blockAlign;
    uint32_t loopEnd = regionEnd < dataSize_ ? static_cast<uint32_t>(regionEnd) : dataSize_;
    uint32_t total = 0;
    while (total < size) {
        if (position_ < loopEnd) {
            uint32_t n = size - total < loopEnd - position_ ? size - total : loopEnd - position_;
            readAt(position_, out + total, n);
            position_ += n;
            total += n;
            if (position_ == loopEnd) {
                if (loop.playCount > 0 && loopsDone_ < loop.playCount - 1) {
                    ++loopsDone_;
                    position_ = loop.start;
                } else if (loopForever_ && loop.playCount == 0) {
                    position_ = loop.start;
                }
            }
        } else {
            uint32_t n = size - total < dataSize_ - position_ ? size - total : dataSize_ - position_;
            if (n > 0) {
                readAt(position_, out + total, n);
                position_ += n;
                total += n;
            }
            if (position_ == dataSize_)
                return;
        }
    }
}

uint32_t WaveFile::dataSize() const {
    return dataSize_;
}

void WaveFile::setPosition(uint32_t pos) {
    loopsDone_ = 0;
    if (hasLoops_ && loops_[0].playCount == 0)
        loopForever_ = true;
    position_ = pos;
}

uint32_t WaveFile::position() const {
    return position_;
}

WaveFormat* WaveFile::format() {
    return &format_;
}

const std::string& WaveFile::name() const {
    return file_->name();
}

bool WaveFile::isReadMode() const {
    return file_->isReadMode();
}

uint32_t WaveFile::seek(long pos) {
    return file_->seek(pos);
}

uint32_t WaveFile::tell(long* pos) {
    return file_->tell(pos);
}

bool WaveFile::read(void* buffer, unsigned count) {
    return file_->read(buffer, count);
}

bool WaveFile::readByte(char* byte) {
    return file_->readByte(byte);
}

bool WaveFile::write(const void* data, unsigned count) {
    return file_->write(data, count);
}

bool WaveFile::writeByte(const char* byte) {
    return file_->writeByte(byte);
}

}  // namespace sondrel

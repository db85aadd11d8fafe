// OggSource construction surfaces an unusable file as kFileNotOpened from its first seek; a
// stream the library cannot move to its first sample could not be converted either.
#include "sondrel/audio/ogg_source.h"

namespace sondrel {

OggSource::OggSource(const std::string& path, bool readMode)
    : decoder_(new VorbisDecoder(path, readMode)), size_(0), name_(path) {
    try {
        if (decoder_->seekSample(0) != 0)
            throw kFileNotOpened;
    } catch (...) {
        delete decoder_;  // a source that throws leaves nothing open behind it
        throw;
    }
    format_ = decoder_->format();
    size_ = decoder_->size();
}

OggSource::~OggSource() {
    delete decoder_;
}

uint32_t OggSource::readAll(char* buffer, uint32_t size) {
    if (decoder_->seekSample(0) != 0)
        throw kFileNotOpened;
    uint32_t filled = 0;
    decoder_->read(buffer, size, &filled);
    return filled;
}

}  // namespace sondrel

// The decoder's life: fopen, ov_open_callbacks, ov_pcm_total and ov_info over the whole
// stream, then ov_read in requests of at most 4,096 bytes; each resource released once.
#include "sondrel/audio/vorbis_decoder.h"

#include "platform/platform.h"

#include <cstring>

namespace sondrel {

namespace {

const int kMaxRequest = 4096;

size_t readCallback(void* ptr, size_t size, size_t nmemb, void* source) {
    return std::fread(ptr, size, nmemb, static_cast<FILE*>(source));
}

int seekCallback(void* source, ogg_int64_t offset, int whence) {
    return std::fseek(static_cast<FILE*>(source), static_cast<long>(offset), whence) == 0 ? 0 : -1;
}

int closeCallback(void* source) {
    return std::fclose(static_cast<FILE*>(source));
}

long tellCallback(void* source) {
    return std::ftell(static_cast<FILE*>(source));
}

}  // namespace

VorbisDecoder::VorbisDecoder(const std::string& path, bool readMode)
    : file_(nullptr), name_(path), open_(false), readMode_(readMode), streamOpened_(false), badLink_(false),
      decodedSinceStart_(false), size_(0) {
    callbacks_.read_func = readCallback;
    callbacks_.seek_func = seekCallback;
    callbacks_.close_func = closeCallback;
    callbacks_.tell_func = tellCallback;
    std::memset(&vf_, 0, sizeof vf_);
    std::memset(&format_, 0, sizeof format_);
    if (!readMode_)
        return;
    file_ = platform::openFileForReading(name_.c_str());
    if (!file_)
        return;
    if (ov_open_callbacks(file_, &vf_, NULL, 0, callbacks_) != 0)
        return;
    streamOpened_ = true;
    open_ = measure();
}

// Sizes and format of the whole stream. Refuses what a WAV header cannot describe:
// 4 GiB of PCM or more, no channels, a rate of 0, or a byte rate or block align
// that overflows its field.
bool VorbisDecoder::measure() {
    ogg_int64_t total = ov_pcm_total(&vf_, -1);
    if (total == OV_EINVAL || total < 0)
        return false;
    vorbis_info* info = ov_info(&vf_, -1);
    if (!info || info->channels <= 0 || info->rate <= 0)
        return false;
    uint64_t channels = static_cast<uint64_t>(info->channels);
    uint64_t rate = static_cast<uint64_t>(info->rate);
    uint64_t bytes = channels * static_cast<uint64_t>(total) * 2;
    if (bytes > 0xFFFFFFFFull || channels * 2 > 0xFFFF || rate > 0xFFFFFFFFull || channels * rate * 2 > 0xFFFFFFFFull)
        return false;
    size_ = static_cast<uint32_t>(bytes);
    format_.formatTag = 1;
    format_.channels = static_cast<uint16_t>(channels);
    format_.sampleRate = static_cast<uint32_t>(rate);
    format_.byteRate = static_cast<uint32_t>(channels * rate * 2);
    format_.blockAlign = static_cast<uint16_t>(channels * 2);
    format_.bitsPerSample = 16;
    format_.extraSize = 0;
    return true;
}

VorbisDecoder::~VorbisDecoder() {
    if (streamOpened_)
        ov_clear(&vf_);  // closes the file through the close callback
    else if (file_)
        std::fclose(file_);
}

int VorbisDecoder::seekSample(long sample) {
    if (!open_)
        throw kFileNotOpened;
    int result;
    if (sample != 0) {
        result = ov_pcm_seek(&vf_, static_cast<ogg_int64_t>(static_cast<unsigned long>(sample)));
    } else {
        // Opening can leave a stream past its first samples (a chained file whose first link
        // is short, an early stream with audio on its last header page): the library's own
        // position tells. From the first byte it decodes every sample the stream holds.
        if (!decodedSinceStart_ && ov_pcm_tell(&vf_) == 0)
            return 0;
        result = ov_raw_seek(&vf_, 0);
        if (result == 0)
            decodedSinceStart_ = false;
    }
    // A seek that ran into a bad link has decoded into it: a later ov_read would crash.
    if (result == OV_EBADLINK)
        badLink_ = true;
    return result;
}

long VorbisDecoder::read(char* buffer, uint32_t size, uint32_t* filledOut) {
    if (!open_)
        throw kFileNotOpened;
    if (filledOut)
        *filledOut = 0;
    decodedSinceStart_ = true;
    if (badLink_)
        return OV_EBADLINK;
    uint32_t filled = 0;
    int section = 0;
    long result = 0;
    do {
        uint32_t left = size - filled;
        int request = left < static_cast<uint32_t>(kMaxRequest) ? static_cast<int>(left) : kMaxRequest;
        result = ov_read(&vf_, buffer + filled, request, 0, 2, 1, &section);
        if (result == OV_EBADLINK)
            badLink_ = true;
        // End of stream, a hole, a bad link, or any other refusal ends the decode for good.
        if (result <= 0)
            break;
        filled += static_cast<uint32_t>(result);
    } while (filled < size);
    if (filledOut)
        *filledOut = filled;
    return result;
}

}  // namespace sondrel

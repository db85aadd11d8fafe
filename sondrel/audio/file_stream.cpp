// FileStream over the platform's unbuffered file calls.
#include "sondrel/audio/file_stream.h"

#include <cstring>

namespace sondrel {

const char* const kFileNotOpened = "File not opened";

namespace {

// Games installed from a disc keep the read-only attribute on every file, and an output of an
// earlier install must still be replaced. Anything else about the file is left as it is.
void makeWritable(const std::string& name) {
    unsigned long attributes = platform::fileAttributes(name.c_str());
    if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttributeReadOnly) &&
        !(attributes & platform::kAttributeDirectory))
        platform::setFileAttributes(name.c_str(), attributes & ~platform::kAttributeReadOnly);
}

}  // namespace

FileStream::FileStream(const std::string& path, bool readMode)
    : handle_(platform::kInvalidFile), name_(path + ".wav"), open_(false), readMode_(readMode), size_(0) {
    std::memset(&format_, 0, sizeof format_);
    if (!readMode_)
        makeWritable(name_);
    handle_ = platform::openStreamFile(name_.c_str(), readMode_);
    if (handle_ == platform::kInvalidFile)
        return;
    size_ = static_cast<uint32_t>(platform::streamFileSize(handle_));
    if (size_ == 0 && readMode_) {
        platform::closeStreamFile(handle_);
        handle_ = platform::kInvalidFile;
        return;
    }
    open_ = true;
}

FileStream::~FileStream() {
    if (handle_ != platform::kInvalidFile)
        platform::closeStreamFile(handle_);
}

void FileStream::requireOpen() const {
    if (!open_)
        throw kFileNotOpened;
}

bool FileStream::isOpen() const {
    return open_;
}

bool FileStream::isReadMode() const {
    return readMode_;
}

const std::string& FileStream::name() const {
    return name_;
}

uint32_t FileStream::seek(long pos) {
    requireOpen();
    return static_cast<uint32_t>(platform::setStreamPosition(handle_, pos, false));
}

uint32_t FileStream::tell(long* pos) {
    requireOpen();
    uint32_t at = static_cast<uint32_t>(platform::setStreamPosition(handle_, 0, true));
    *pos = static_cast<long>(at);
    return at;
}

bool FileStream::read(void* buffer, unsigned count) {
    requireOpen();
    unsigned long done = 0;
    return platform::readStreamFile(handle_, buffer, count, &done);
}

bool FileStream::readByte(char* byte) {
    // Cleared first: a read at the end of the file succeeds with nothing read.
    *byte = 0;
    requireOpen();
    unsigned long done = 0;
    return platform::readStreamFile(handle_, byte, 1, &done);
}

bool FileStream::write(const void* data, unsigned count) {
    if (!open_)
        return false;
    unsigned long done = 0;
    return platform::writeStreamFile(handle_, data, count, &done) && done == count;
}

bool FileStream::writeByte(const char* byte) {
    requireOpen();
    unsigned long done = 0;
    return platform::writeStreamFile(handle_, byte, 1, &done);
}

WaveFormat* FileStream::format() {
    return &format_;
}

uint32_t FileStream::size() const {
    return size_;
}

}  // namespace sondrel

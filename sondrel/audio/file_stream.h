// FileStream: one file handle opened in read or write mode, with unbuffered positioned block
// and single-byte reads and writes. It always works on a WAV file: ".wav" is appended to
// the path it is given.
#pragma once

#include "platform/platform.h"
#include "sondrel/audio/wave_format.h"

#include <cstdint>
#include <string>

namespace sondrel {

class FileStream {
public:
    // Never throws: a file that cannot be opened (or an empty one in read mode) leaves the
    // stream not open, and the first operation that needs it throws kFileNotOpened.
    FileStream(const std::string& path, bool readMode);
    virtual ~FileStream();

    virtual bool isOpen() const;
    virtual bool isReadMode() const;
    virtual const std::string& name() const;
    virtual uint32_t seek(long pos);
    virtual uint32_t tell(long* pos);
    virtual bool read(void* buffer, unsigned count);
    virtual bool readByte(char* byte);
    // False without throwing when the stream is not open, and when fewer bytes went out.
    virtual bool write(const void* data, unsigned count);
    virtual bool writeByte(const char* byte);
    virtual WaveFormat* format();
    virtual uint32_t size() const;

    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

private:
    void requireOpen() const;

    platform::FileHandle handle_;
    std::string name_;
    bool open_;
    bool readMode_;
    uint32_t size_;  // at open; never updated
    WaveFormat format_;
};

}  // namespace sondrel

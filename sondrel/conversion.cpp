// Per-file conversion: the whole file is decoded into memory before its output is created,
// so an output file exists only for a source that decoded.
#include "sondrel/conversion.h"

#include "platform/platform.h"
#include "sondrel/audio/ogg_source.h"
#include "sondrel/audio/wave_file.h"
#include "sondrel/progress_window.h"

#include <strings.h>

#include <cstring>
#include <new>

namespace sondrel {

namespace {

const char kSoundExtension[] = ".ogg";
const size_t kExtensionLength = sizeof kSoundExtension - 1;

// Windows also matches "*.ogg" through a file's short alias (a.oggx is A~1.OGG) and lists
// folders: only files whose own name ends in .ogg are sounds.
bool isSoundFile(const platform::FolderItem& item) {
    if (item.attributes & platform::kAttributeDirectory)
        return false;
    size_t length = std::strlen(item.name);
    return length >= kExtensionLength && strcasecmp(item.name + length - kExtensionLength, kSoundExtension) == 0;
}

bool decodeAndWrite(const std::string& sourceName, const std::string& outputBase) {
    OggSource* source = nullptr;
    char* pcm = nullptr;
    uint32_t size = 0;
    WaveFile* wave = nullptr;
    bool written = false;
    try {
        source = new OggSource(sourceName, true);
        size = source->size();
        // Zeroed, so that a decode that stops early leaves silence rather than old memory.
        pcm = static_cast<char*>(platform::allocateBlock(size));
        if (!pcm)
            throw std::bad_alloc();
        source->readAll(pcm, size);
        wave = new WaveFile(outputBase, false);
        WaveFormat format = source->format();
        wave->setFormat(format);
        written = wave->writeData(pcm, size);
        wave->setFormat(format);
    } catch (const char*) {
        // kFileNotOpened: the source could not be opened or decoded, or the output created.
    } catch (const std::bad_alloc&) {
    }
    platform::releaseBlock(pcm, size);
    delete source;
    if (wave) {
        std::string outputName = wave->name();
        delete wave;
        // A header that claims data the disk did not take must not stay behind.
        if (!written)
            platform::removeFile(outputName.c_str());
    }
    return written;
}

}  // namespace

bool convertFolder(const std::string& sourceFolder, const std::string& destinationFolder) {
    if (!platform::setCurrentDirectory(sourceFolder.c_str()))
        return false;
    bool allConverted = true;
    platform::FolderItem item;
    platform::FolderSearch search = platform::findFirst("*.ogg", &item);
    if (search == platform::kNoSearch)
        return true;
    do {
        if (isSoundFile(item) && !convertFile(item.name, destinationFolder))
            allConverted = false;
    } while (platform::findNext(search, &item));
    platform::findClose(search);
    return allConverted;
}

bool convertFile(const std::string& sourceName, const std::string& destinationFolder) {
    // One separator even after a folder that ends in one: the doubled one reads as one.
    std::string outputBase = destinationFolder + platform::kPathSeparator + sourceName;
    outputBase.erase(outputBase.size() - kExtensionLength);
    bool converted = decodeAndWrite(sourceName, outputBase);
    pumpOneMessage();
    return converted;
}

}  // namespace sondrel

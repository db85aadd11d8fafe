// The thin operating-system layer of the patch kit.
// Product code includes only this header; platform/win32 and platform/posix implement it.
#pragma once

#include <cstdio>

struct zlib_filefunc_def_s;

namespace platform {

// Path of the running executable, NUL-terminated and cut to `size`.
void ownExecutablePath(char* buffer, unsigned size);

// HKEY_LOCAL_MACHINE, read only. A null key means the key is missing.
typedef void* RegistryKey;
RegistryKey openMachineKey(const char* path);
// Copies the string value into `buffer`; when the value is missing or does not fit whole,
// terminator included, the buffer is left with a 0 first byte.
void queryStringValue(RegistryKey key, const char* name, char* buffer, unsigned size);
void closeKey(RegistryKey key);

// String resource `id` of the running program, cut to `size`; returns its length, 0 when absent.
int loadString(unsigned id, char* buffer, int size);

bool setCurrentDirectory(const char* path);
// 0 on success, -1 with errno set (ENOENT when a parent folder is missing, EEXIST, EACCES).
int makeDirectory(const char* path);

// Creates a file for binary writing only when no file of that name exists; NULL with errno
// set otherwise (EEXIST when one does, ENOENT when a folder on the way is missing).
FILE* createNewFile(const char* path);
// True when `path` names no file, or a file that this process could replace now: not a
// folder, not held by a program that shares it with no one.
bool canReplaceFile(const char* path);
// Puts `from` in the place of `to`, replacing a writable file of that name.
bool replaceFile(const char* from, const char* to);

const unsigned long kInvalidAttributes = 0xFFFFFFFFul;
const unsigned long kAttributeReadOnly = 0x1;
const unsigned long kAttributeDirectory = 0x10;
unsigned long fileAttributes(const char* path);
bool setFileAttributes(const char* path, unsigned long attributes);

// Gives the file the DOS date and time (high and low 16 bits of `dosDate`, local time) as its
// creation and last-write times; the last-access time is kept. Failures leave the times alone.
void setFileTimesFromDos(const char* path, unsigned long dosDate);

// --- Game files read whole: the bases of delta entries ---

// The size of an existing file; false when there is no file of that name.
bool fileSize(const char* path, unsigned long long* size);

// A read-only view of `length` bytes of an existing file from `offset`, mapped into memory,
// so that a file of hundreds of megabytes is read where it lies rather than copied. The file
// is open for reading, shared only for reading, while the view is made; a view of 0 bytes maps
// nothing. False when the file cannot be opened, is shorter, or the range cannot be mapped.
struct FileView {
    const unsigned char* data;
    unsigned long length;
    void* mapping;  // for unmapFileView
    unsigned long mappedLength;
};
bool mapFileView(const char* path, unsigned long offset, unsigned long length, FileView* view);
void unmapFileView(FileView* view);

// Opens a file for reading with the C runtime's streams ("rb").
FILE* openFileForReading(const char* path);

// Unbuffered files with positioned reads and writes: every call is one system call.
// Read mode: the file must exist and others may only read it while it is open.
// Write mode: the file is created or truncated, readable and writable, and shared with no one.
typedef void* FileHandle;
extern const FileHandle kInvalidFile;
FileHandle openStreamFile(const char* name, bool readMode);
unsigned long streamFileSize(FileHandle file);  // low 32 bits
// Moves to `distance` from the start, or from the current position; returns the new position.
unsigned long setStreamPosition(FileHandle file, long distance, bool fromCurrent);
bool readStreamFile(FileHandle file, void* buffer, unsigned long count, unsigned long* done);
bool writeStreamFile(FileHandle file, const void* data, unsigned long count, unsigned long* done);
void closeStreamFile(FileHandle file);

// The file functions minizip reads the patch archive with.
void fillArchiveFileFunctions(zlib_filefunc_def_s* functions);

// Runs a script with the shell's "open" verb, hidden, and waits until it has ended.
// True when the script was started; its exit status is then left in `exitCode`.
bool shellOpenAndWait(const char* file, const char* parameters, unsigned long* exitCode);

// A modal message with one OK button; returns when it is dismissed.
void messageBox(const char* text, const char* caption, bool isError);

// True when `stream` writes to a terminal (a console window on Windows).
bool isTerminal(FILE* stream);

// --- The converter's folders ---

// What separates folders in the paths the platform hands out.
extern const char kPathSeparator;

// One item of a folder listing: its bare name and its attributes (kAttributeDirectory...).
struct FolderItem {
    char name[260];
    unsigned long attributes;
};
// Lists the current directory's items whose names match `pattern`: "*", or "*.ext" with
// the extension's letter case ignored. "." and ".." come too, as Windows lists them.
typedef void* FolderSearch;
extern const FolderSearch kNoSearch;
FolderSearch findFirst(const char* pattern, FolderItem* item);
bool findNext(FolderSearch search, FolderItem* item);
void findClose(FolderSearch search);

// The full path of `name` resolved against the current directory, with no "." or ".."
// components. Returns its length; 0 on failure; when it does not fit in `size` bytes, the
// size it needs (terminator included) and `buffer` is left alone.
unsigned long fullPathName(const char* name, char* buffer, unsigned long size);

// Names a folder independently of the path it was reached by, so that a folder met again
// through a link can be recognised. False when the folder cannot be examined.
struct FolderIdentity {
    unsigned long long volume;
    unsigned long long index;
};
bool folderIdentity(const char* path, FolderIdentity* identity);

bool removeFile(const char* path);

// A zero-filled block of `size` bytes (at least one) for one sound's decoded samples, or null
// when there is no memory for it. Handed back, with the same size, by releaseBlock.
void* allocateBlock(unsigned long size);
void releaseBlock(void* block, unsigned long size);

// --- Names ---

// The UTF-8 name `utf8` (`length` bytes) in the system's ANSI code page, exactly: false when
// it is not UTF-8, holds a NUL, has a character the code page holds only through a
// substitute, or does not fit in `size` bytes with its terminator.
bool utf8ToAnsi(const char* utf8, unsigned long length, char* buffer, unsigned long size);

// Text the system handed the program (its arguments, on POSIX in the file system's UTF-8) as
// an 8-bit string in the ANSI code page, cut to `size`; what the code page cannot hold
// becomes '?'.
void systemTextToAnsi(const char* text, char* buffer, unsigned long size);

// --- The publisher's tool ---

// The publisher's builder names files in UTF-8, whatever the system's code page. While a
// Utf8Paths lives, the paths given to openFileForReading, openStreamFile, fileSize,
// mapFileView and the archive's file functions are taken as UTF-8 (on Windows through the wide
// functions).
bool useUtf8Paths(bool on);  // returns the previous setting
class Utf8Paths {
public:
    Utf8Paths() : previous_(useUtf8Paths(true)) {}
    ~Utf8Paths() { useUtf8Paths(previous_); }
    Utf8Paths(const Utf8Paths&) = delete;
    Utf8Paths& operator=(const Utf8Paths&) = delete;

private:
    bool previous_;
};

// Replaces argc and argv with the program's arguments in UTF-8 (on Windows from the wide
// command line); on POSIX they stay as given. The new ones live as long as the process.
void utf8Arguments(int* argc, char*** argv);

// Writes UTF-8 `text` to `stream` in the terminal's encoding: the locale's character set on
// POSIX; on Windows the console's output code page, or the ANSI code page when the stream
// is no console. Characters it cannot show become '?'.
void writeTerminalText(FILE* stream, const char* text);

}  // namespace platform

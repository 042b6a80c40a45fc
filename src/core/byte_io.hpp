// Byte sources and sinks: the only way the codec touches files or memory.
//
// The image file layer and the compressed stream's reader and writer see
// these interfaces, never a file handle, so a whole run can happen in memory
// (tests, fuzzing, the library API), through a caller's functions, or on
// files (the command line).
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace vrk {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to n bytes; returns how many arrived (fewer only at the end).
    virtual std::size_t read(std::uint8_t* destination, std::size_t n) = 0;
    // Goes back to the first byte. Only the image file readers rewind, and
    // only the sources of whole image files (memory, files) can.
    virtual void rewind() { assert(!"a source that cannot rewind"); }
    // Ends reading; false when the platform reports a failure.
    virtual bool close() { return true; }

    // Reads exactly n bytes or throws "Cannot read from file".
    void read_exact(std::uint8_t* destination, std::size_t n);
    // One byte, or -1 at the end.
    int read_byte();
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes n bytes; returns how many were taken.
    virtual std::size_t write(const std::uint8_t* source, std::size_t n) = 0;
    // Ends writing; false when the platform reports a failure.
    virtual bool close() { return true; }

    // Writes exactly n bytes or throws "Cannot write to file".
    void write_exact(const std::uint8_t* source, std::size_t n);
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::size_t read(std::uint8_t* destination, std::size_t n) override;
    void rewind() override { position_ = 0; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

class MemorySink final : public ByteSink {
public:
    std::size_t write(const std::uint8_t* source, std::size_t n) override;
    const std::vector<std::uint8_t>& bytes() const noexcept { return bytes_; }
    std::vector<std::uint8_t> take() noexcept { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

// A file opened in binary mode; closed by close() or the destructor.
class FileSource final : public ByteSource {
public:
    // Null when the file cannot be opened for reading.
    static std::FILE* open(const std::string& path) noexcept;
    explicit FileSource(std::FILE* file) noexcept : file_(file) {}
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::size_t read(std::uint8_t* destination, std::size_t n) override;
    void rewind() override;
    bool close() override;

private:
    std::FILE* file_;
};

class FileSink final : public ByteSink {
public:
    // Null when the file cannot be created or emptied for writing.
    static std::FILE* open(const std::string& path) noexcept;
    explicit FileSink(std::FILE* file) noexcept : file_(file) {}
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    std::size_t write(const std::uint8_t* source, std::size_t n) override;
    bool close() override;

private:
    std::FILE* file_;
};

} // namespace vrk

#include "core/byte_io.hpp"

#include <algorithm>
#include <cstring>

#include "core/error.hpp"

namespace vrk {

void ByteSource::read_exact(std::uint8_t* destination, std::size_t n) {
    if (n != 0 && read(destination, n) != n) fail(ErrorCode::cannot_read);
}

int ByteSource::read_byte() {
    std::uint8_t byte = 0;
    return read(&byte, 1) == 1 ? byte : -1;
}

void ByteSink::write_exact(const std::uint8_t* source, std::size_t n) {
    if (n != 0 && write(source, n) != n) fail(ErrorCode::cannot_write);
}

std::size_t MemorySource::read(std::uint8_t* destination, std::size_t n) {
    const std::size_t count = std::min(n, bytes_.size() - position_);
    if (count != 0) std::memcpy(destination, bytes_.data() + position_, count);
    position_ += count;
    return count;
}

std::size_t MemorySink::write(const std::uint8_t* source, std::size_t n) {
    bytes_.insert(bytes_.end(), source, source + n);
    return n;
}

std::FILE* FileSource::open(const std::string& path) noexcept { return std::fopen(path.c_str(), "rb"); }

FileSource::~FileSource() {
    if (file_ != nullptr) std::fclose(file_);
}

std::size_t FileSource::read(std::uint8_t* destination, std::size_t n) {
    return file_ == nullptr ? 0 : std::fread(destination, 1, n, file_);
}

void FileSource::rewind() {
    if (file_ != nullptr) std::rewind(file_);
}

bool FileSource::close() {
    if (file_ == nullptr) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

std::FILE* FileSink::open(const std::string& path) noexcept { return std::fopen(path.c_str(), "wb"); }

FileSink::~FileSink() {
    if (file_ != nullptr) std::fclose(file_);
}

std::size_t FileSink::write(const std::uint8_t* source, std::size_t n) {
    return file_ == nullptr ? 0 : std::fwrite(source, 1, n, file_);
}

bool FileSink::close() {
    if (file_ == nullptr) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

} // namespace vrk

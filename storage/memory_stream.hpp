#pragma once
// A growable byte stream in memory: the bytes and a position. Writes go to the position and extend
// the stream as needed; reads never go past the end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

enum class SeekOrigin { Begin, Current, End };

class TMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

    // Writes the bytes at the position (overwriting, then extending) and moves past them.
    void Write(std::string_view data) {
        if (data.empty()) return;
        if (position_ > bytes_.size()) bytes_.resize(position_, '\0');
        const size_t overlap = std::min(data.size(), bytes_.size() - position_);
        bytes_.replace(position_, overlap, data.data(), data.size());
        position_ += data.size();
    }
    void Write(const void* data, size_t count) { Write(std::string_view(static_cast<const char*>(data), count)); }

    // Copies up to `count` bytes from the position; returns how many were copied.
    size_t Read(void* out, size_t count) {
        if (position_ >= bytes_.size()) return 0;
        const size_t n = std::min(count, bytes_.size() - position_);
        std::copy_n(bytes_.data() + position_, n, static_cast<char*>(out));
        position_ += n;
        return n;
    }

    // Moves the position; a position before the start is clamped to 0. Returns the new position.
    size_t Seek(std::int64_t offset, SeekOrigin origin = SeekOrigin::Begin) {
        std::int64_t base = 0;
        if (origin == SeekOrigin::Current) base = static_cast<std::int64_t>(position_);
        if (origin == SeekOrigin::End) base = static_cast<std::int64_t>(bytes_.size());
        const std::int64_t target = base + offset;
        position_ = target < 0 ? 0 : static_cast<size_t>(target);
        return position_;
    }

    size_t Size() const { return bytes_.size(); }
    size_t Position() const { return position_; }
    void Clear() {
        bytes_.clear();
        position_ = 0;
    }

    // The whole content, whatever the position.
    const std::string& Bytes() const { return bytes_; }
    // Replaces the content and rewinds.
    void Assign(std::string bytes) {
        bytes_ = std::move(bytes);
        position_ = 0;
    }
    // Hands the whole content over and leaves the stream empty.
    std::string Take() {
        std::string bytes = std::move(bytes_);
        Clear();
        return bytes;
    }
    // The bytes from the position to the end.
    std::string_view Remaining() const {
        return position_ >= bytes_.size() ? std::string_view() : std::string_view(bytes_).substr(position_);
    }

private:
    std::string bytes_;
    size_t position_ = 0;
};

}  // namespace tb

#pragma once
// Stable storage for the texts of key records. Names and byte-string payloads of keys are views
// into a pool owned by their store: a loaded file image is adopted whole (the records point into
// it, nothing is copied per key), and texts written later are appended to large chunks.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

class TextPool {
public:
    TextPool() = default;
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;
    TextPool(TextPool&&) = default;
    TextPool& operator=(TextPool&&) = default;

    // Takes over a whole buffer; views into it stay valid while the pool holds it.
    std::string_view Adopt(std::unique_ptr<std::string> block) {
        held_ += block->size();
        blocks_.push_back(std::move(block));
        return *blocks_.back();
    }

    // A copy of the text that stays where it is while the pool lives.
    std::string_view Keep(std::string_view text) {
        if (text.empty()) return {};
        if (text.size() > kChunkBytes / 4) return Adopt(std::make_unique<std::string>(text));
        if (chunk_ == nullptr || chunk_->capacity() - chunk_->size() < text.size()) {
            auto chunk = std::make_unique<std::string>();
            chunk->reserve(kChunkBytes);  // appends within the capacity never move the bytes
            chunk_ = chunk.get();
            blocks_.push_back(std::move(chunk));
        }
        const size_t at = chunk_->size();
        chunk_->append(text);
        held_ += text.size();
        return std::string_view(*chunk_).substr(at, text.size());
    }

    void Clear() {
        blocks_.clear();
        chunk_ = nullptr;
        held_ = 0;
    }

    // Bytes held, including those no record refers to any more.
    size_t HeldBytes() const { return held_; }

private:
    static constexpr size_t kChunkBytes = 64 * 1024;

    std::vector<std::unique_ptr<std::string>> blocks_;
    std::string* chunk_ = nullptr;
    size_t held_ = 0;
};

}  // namespace tb

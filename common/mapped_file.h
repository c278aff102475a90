#pragma once
// A read-only view of a whole file in memory, mapped by the system rather than copied.

#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace kestrova {

class MappedFile {
public:
    MappedFile() = default;
    explicit MappedFile(const std::u16string& path) { Open(path); }
    ~MappedFile() { Close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          open_(std::exchange(other.open_, false)) {}
    MappedFile& operator=(MappedFile&& other) noexcept {
        if (this != &other) {
            Close();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            open_ = std::exchange(other.open_, false);
        }
        return *this;
    }

    // False when the file cannot be opened or mapped. An empty file maps as an empty view.
    bool Open(const std::u16string& path);
    void Close();

    bool isOpen() const { return open_; }
    std::span<const std::uint8_t> bytes() const { return {data_, size_}; }
    std::size_t size() const { return size_; }

    // Tells the system the view is read once from front to back, or here and there.
    void AdviseSequential() const;
    void AdviseRandom() const;

private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    bool open_ = false;
};

}  // namespace kestrova

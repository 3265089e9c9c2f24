// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string_view>

// Growable block of raw bytes (no terminating zero). Sizes are signed 32-bit, so an
// append that would pass INT32_MAX bytes fails instead of wrapping.
class CByteBuffer final {
public:
    CByteBuffer() = default;
    ~CByteBuffer();
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;
    CByteBuffer(CByteBuffer&& other) noexcept;
    CByteBuffer& operator=(CByteBuffer&& other) noexcept;

    // Appends n bytes; false (and the buffer unchanged) when the size would overflow
    // or the memory cannot be had.
    bool Append(const void* bytes, std::int64_t n);
    // Appends the characters of a text, without any terminating zero.
    bool Append(std::string_view text);
    // Releases the block: size and capacity become 0.
    void Empty();

    const std::uint8_t* Data() const { return m_data; }
    std::int32_t Size() const { return m_size; }
    std::int32_t Capacity() const { return m_capacity; }
    std::string_view View() const;

private:
    std::uint8_t* m_data = nullptr;
    std::int32_t m_size = 0;
    std::int32_t m_capacity = 0;
};

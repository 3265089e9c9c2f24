// SPDX-License-Identifier: MIT
#include "core/common/ByteBuffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

CByteBuffer::~CByteBuffer() {
    Empty();
}

CByteBuffer::CByteBuffer(CByteBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)) {}

CByteBuffer& CByteBuffer::operator=(CByteBuffer&& other) noexcept {
    if (this != &other) {
        Empty();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

bool CByteBuffer::Append(const void* bytes, std::int64_t n) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (n < 0 || n > kMax - m_size) {
        return false;
    }
    if (n == 0) {
        return true;
    }
    const std::int64_t needed = m_size + n;
    if (m_capacity < needed) {
        std::int64_t capacity = m_capacity == 0 ? 16 : m_capacity;
        while (capacity < needed) {
            capacity *= 2;
        }
        // Doubling may overshoot the signed limit although the content still fits.
        if (capacity > kMax) {
            capacity = kMax;
        }
        auto* block = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(capacity)));
        if (block == nullptr) {
            return false;
        }
        if (m_size > 0) {
            std::memcpy(block, m_data, static_cast<std::size_t>(m_size));
        }
        std::free(m_data);
        m_data = block;
        m_capacity = static_cast<std::int32_t>(capacity);
    }
    std::memcpy(m_data + m_size, bytes, static_cast<std::size_t>(n));
    m_size = static_cast<std::int32_t>(needed);
    return true;
}

bool CByteBuffer::Append(std::string_view text) {
    return Append(text.data(), static_cast<std::int64_t>(text.size()));
}

void CByteBuffer::Empty() {
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
}

std::string_view CByteBuffer::View() const {
    if (m_data == nullptr) {
        return {};
    }
    return {reinterpret_cast<const char*>(m_data), static_cast<std::size_t>(m_size)};
}

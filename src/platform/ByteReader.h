#pragma once
// The one way binary data is read: a cursor over a byte span that checks every
// read against what is really there (n > remaining(), never pos + n > size).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes, std::size_t pos = 0)
        : m_bytes(bytes), m_pos(pos <= bytes.size() ? pos : bytes.size()) {}

    std::size_t Position() const { return m_pos; }
    std::size_t Remaining() const { return m_bytes.size() - m_pos; }
    bool CanRead(std::size_t n) const { return n <= Remaining(); }

    std::optional<std::uint8_t> ReadU8() {
        if (!CanRead(1)) return std::nullopt;
        return m_bytes[m_pos++];
    }
    // An unsigned little-endian number of n bytes (0 to 4).
    std::optional<std::uint32_t> ReadLE(std::size_t n) {
        if (n > 4 || !CanRead(n)) return std::nullopt;
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < n; ++k)
            v |= static_cast<std::uint32_t>(m_bytes[m_pos + k]) << (8 * k);
        m_pos += n;
        return v;
    }
    std::optional<std::span<const std::uint8_t>> Read(std::size_t n) {
        if (!CanRead(n)) return std::nullopt;
        auto s = m_bytes.subspan(m_pos, n);
        m_pos += n;
        return s;
    }
    bool Skip(std::size_t n) {
        if (!CanRead(n)) return false;
        m_pos += n;
        return true;
    }

  private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos;
};

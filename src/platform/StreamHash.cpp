#include "platform/StreamHash.h"

#include <cstring>

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;

std::uint64_t Rotl(std::uint64_t v, int k) {
    return (v << k) | (v >> (64 - k));
}

std::uint64_t Word(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int k = 7; k >= 0; --k) v = (v << 8) | p[k];
    return v;
}

std::uint64_t Round(std::uint64_t acc, std::uint64_t word) {
    return Rotl(acc + word * kPrime2, 31) * kPrime1;
}

std::uint64_t Avalanche(std::uint64_t h, std::uint64_t m1, std::uint64_t m2) {
    h ^= h >> 33;
    h *= m1;
    h ^= h >> 29;
    h *= m2;
    return h ^ (h >> 32);
}

}  // namespace

StreamHash::StreamHash() : m_lane{kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1} {}

void StreamHash::Stripe(const std::uint8_t* p) {
    for (int k = 0; k < 4; ++k) m_lane[k] = Round(m_lane[k], Word(p + 8 * k));
}

void StreamHash::Update(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;  // an empty piece may come without any storage (null)
    m_nTotal += size;
    if (m_nStash > 0) {
        const std::size_t take = std::min(size, sizeof m_stash - m_nStash);
        std::memcpy(m_stash + m_nStash, data, take);
        m_nStash += take;
        data += take;
        size -= take;
        if (m_nStash < sizeof m_stash) return;
        Stripe(m_stash);
        m_nStash = 0;
    }
    for (; size >= 32; data += 32, size -= 32) Stripe(data);
    if (size > 0) std::memcpy(m_stash, data, size);
    m_nStash = size;
}

Hash128 StreamHash::Final() const {
    const std::uint64_t* l = m_lane;
    std::uint64_t a = Rotl(l[0], 1) + Rotl(l[1], 7) + Rotl(l[2], 12) + Rotl(l[3], 18) + m_nTotal;
    std::uint64_t b = (l[0] * kPrime3) ^ Rotl(l[1], 29) ^ (l[2] * kPrime4) ^ Rotl(l[3], 43) ^
                      (m_nTotal * kPrime1);
    std::size_t i = 0;
    for (; m_nStash - i >= 8; i += 8) {
        const std::uint64_t w = Word(m_stash + i);
        a = Rotl(a ^ Round(0, w), 27) * kPrime1 + kPrime3;
        b = Rotl(b ^ Round(kPrime4, w), 23) * kPrime2 + kPrime1;
    }
    for (; i < m_nStash; ++i) {
        a = Rotl(a ^ (m_stash[i] * kPrime3), 11) * kPrime1;
        b = Rotl(b ^ (m_stash[i] * kPrime1), 13) * kPrime4;
    }
    Hash128 h;
    h.lo = Avalanche(a ^ Rotl(b, 17), kPrime2, kPrime3);
    h.hi = Avalanche(b ^ Rotl(a, 41), kPrime4, kPrime1);
    return h;
}

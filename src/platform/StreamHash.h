#pragma once
// A fast 128-bit hash that can be fed in pieces: four independent lanes of
// multiply-rotate rounds over 8-byte words, then the leftover bytes and two
// different avalanches of the whole state. It guards against torn writes, stale
// data and files changed by other programs (2^-128 for an accidental match); it
// is no defence against a forger: journals are trusted by their owner, not their
// hash.

#include <cstddef>
#include <cstdint>
#include <span>

struct Hash128 {
    std::uint64_t lo = 0;
    std::uint64_t hi = 0;
    friend bool operator==(const Hash128&, const Hash128&) = default;
};

class StreamHash {
  public:
    StreamHash();
    void Update(const std::uint8_t* data, std::size_t size);
    void Update(std::span<const std::uint8_t> bytes) { Update(bytes.data(), bytes.size()); }
    // The hash of everything fed so far (the state is left as it is).
    Hash128 Final() const;

    static Hash128 Of(std::span<const std::uint8_t> bytes) {
        StreamHash h;
        h.Update(bytes);
        return h.Final();
    }

  private:
    void Stripe(const std::uint8_t* p);

    std::uint64_t m_lane[4];
    std::uint8_t m_stash[32];
    std::size_t m_nStash = 0;
    std::uint64_t m_nTotal = 0;
};

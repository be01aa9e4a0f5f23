
#include <bit>
#include <cstring>

#include "format/StandardHeader.h"
#include "format/XorWords.h"
#include "support/TestFiles.h"

namespace {

std::uint32_t U32At(const StandardHeader::Bytes& b, std::size_t off) {
    return b[off] | b[off + 1] << 8 | b[off + 2] << 16 |
           static_cast<std::uint32_t>(b[off + 3]) << 24;
}

TEST(XorWordsTest, LittleEndianWordsAndIgnoredTail) {
    EXPECT_EQ(XorWords({}), 0u);
    const std::uint8_t one[] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(XorWords(one), 0x12345678u);
    const std::uint8_t two[] = {1, 0, 0, 0, 3, 0, 0, 0, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(XorWords(two), 2u) << "the trailing 3 bytes are ignored";
    const std::uint8_t three[] = {0xAA, 0xBB};
    EXPECT_EQ(XorWords(three), 0u);
}

TEST(StandardHeaderTest, FieldsSitAtTheirOffsetsLittleEndian) {
    StandardHeader h;
    StandardHeader::SetText(h.sampleName, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");  // longer than 24
    h.laserMode = -2;
    h.extendedHeaderOffset = 0x01020304;
    h.extendedHeaderLength = 0xA0B0C0D0;
    h.intervalTime = 0xBEEF;
    h.numberOfCapillaries = 0x0102;
    h.version = 3.0f;
    h.numberOfCapillariesOld = 96;
    h.checksum = 0xCAFEBABE;
    h.magicNumber = StandardHeader::kMagic;
    auto b = h.ToBytes();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), 24), "ABCDEFGHIJKLMNOPQRSTUVWX");
    EXPECT_EQ(b[24], 0) << "the Operator field starts after exactly 24 bytes";
    EXPECT_EQ(U32At(b, 74), 0xFFFFFFFEu);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[450]), 4), "TKV1");
    EXPECT_EQ(U32At(b, 454), 0x01020304u);
    EXPECT_EQ(U32At(b, 458), 0xA0B0C0D0u);
    EXPECT_EQ(b[508], 0xEF);
    EXPECT_EQ(b[509], 0xBE);
    EXPECT_EQ(b[518], 0x02);
    EXPECT_EQ(U32At(b, 604), 0x40400000u) << "3.0f";
    EXPECT_EQ(b[625], 96);
    EXPECT_EQ(U32At(b, 628), 0xCAFEBABEu);
    EXPECT_EQ(StandardHeader::Text(h.sampleName), "ABCDEFGHIJKLMNOPQRSTUVWX");
}

TEST(StandardHeaderTest, EveryByteRoundTripsIncludingNaNPatterns) {
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        Bytes raw = PatternBytes(StandardHeader::kSize, seed);
        // A signalling NaN in the Version and a quiet one in Run Voltage.
        const std::uint8_t snan[] = {0x01, 0x00, 0x80, 0x7F};
        std::memcpy(&raw[604], snan, 4);
        const std::uint8_t qnan[] = {0x34, 0x12, 0xC0, 0xFF};
        std::memcpy(&raw[54], qnan, 4);
        std::array<std::uint8_t, StandardHeader::kSize> in{};
        std::copy(raw.begin(), raw.end(), in.begin());
        EXPECT_EQ(StandardHeader::FromBytes(in).ToBytes(), in) << seed;
    }
}

}  // namespace

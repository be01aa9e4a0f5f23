#include "format/StandardHeader.h"

#include <bit>
#include <stdexcept>
#include <type_traits>

#include "format/XorWords.h"

namespace {

// The record's fields in file order with their documented offsets. Reading and
// writing both walk this one table, and each checks the running position against
// the offset, so a field of the wrong size cannot go unnoticed.
template <class H, class F>
void ForEachField(H& h, F&& f) {
    f(0, h.sampleName);
    f(24, h.operatorName);
    f(54, h.runVoltage);
    f(58, h.runTime);
    f(62, h.injectionTime);
    f(66, h.injectionVoltage);
    f(70, h.temperature);
    f(74, h.laserMode);
    f(78, h.pmtVoltage1);
    f(82, h.pmtVoltage2);
    f(86, h.beamSplitterA);
    f(116, h.beamSplitterB);
    f(146, h.filter1);
    f(176, h.filter2);
    f(206, h.filter3);
    f(236, h.filter4);
    f(266, h.fillTime);
    f(270, h.flushTime);
    f(274, h.lowPressureTime1);
    f(278, h.lowPressureTime2);
    f(282, h.prerunVoltage);
    f(286, h.relaxationTime);
    f(290, h.prerunTime);
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < 4; ++c)
            f(294 + 16 * r + 4 * c, h.spectralSeparationMatrix[r][c]);
    f(358, h.baseOrder1);
    f(368, h.baseOrder2);
    f(378, h.baseOrder3);
    f(388, h.baseOrder4);
    f(398, h.instrumentId);
    f(450, h.magicNumber);
    f(454, h.extendedHeaderOffset);
    f(458, h.extendedHeaderLength);
    f(462, h.preinjectionTime);
    f(466, h.preinjectionVoltage);
    f(470, h.unnamed470);
    f(474, h.userInputTime);
    f(478, h.sleepTime);
    f(482, h.sleepTemperature);
    f(486, h.buildNumber);
    f(496, h.numberOfColumns);
    f(500, h.numberOfRows);
    f(504, h.intervalVoltage);
    f(508, h.intervalTime);
    f(510, h.pmtVoltage3);
    f(514, h.pmtVoltage4);
    f(518, h.numberOfCapillaries);
    f(520, h.unnamed520);
    f(568, h.runId);
    f(574, h.plateId);
    f(596, h.raw);
    f(600, h.saturated);
    f(604, h.version);
    f(608, h.runStartTime);
    f(612, h.runStopTime);
    f(616, h.numberOfLines);
    f(620, h.scanRate);
    f(624, h.fileType);
    f(625, h.numberOfCapillariesOld);
    f(626, h.capUsage);
    f(627, h.unnamed627);
    f(628, h.checksum);
}

template <class T>
struct IsByteArray : std::false_type {};
template <class C, std::size_t N>
struct IsByteArray<std::array<C, N>> : std::bool_constant<sizeof(C) == 1> {};

class Cursor {
  public:
    void At(std::size_t offset, std::size_t size) {
        if (offset != m_pos || size > StandardHeader::kSize - offset)
            throw std::logic_error("Standard Header field table is inconsistent");
        m_pos = offset + size;
    }
    std::size_t End() const { return m_pos; }

  private:
    std::size_t m_pos = 0;
};

}  // namespace

StandardHeader::StandardHeader() {
    for (std::size_t i = 0; i < 4; ++i) spectralSeparationMatrix[i][i] = 1.0f;
}

StandardHeader StandardHeader::FromBytes(std::span<const std::uint8_t, kSize> bytes) {
    StandardHeader h;
    Cursor cursor;
    ForEachField(h, [&](std::size_t off, auto& field) {
        using T = std::remove_reference_t<decltype(field)>;
        if constexpr (IsByteArray<T>::value) {
            cursor.At(off, field.size());
            for (std::size_t i = 0; i < field.size(); ++i)
                field[i] = static_cast<typename T::value_type>(bytes[off + i]);
        } else {
            using U =
                std::conditional_t<sizeof(T) == 4, std::uint32_t,
                                   std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint8_t>>;
            cursor.At(off, sizeof(T));
            U v = 0;
            for (std::size_t k = 0; k < sizeof(T); ++k)
                v = static_cast<U>(v | (static_cast<U>(bytes[off + k]) << (8 * k)));
            field = std::bit_cast<T>(v);
        }
    });
    if (cursor.End() != kSize) throw std::logic_error("Standard Header field table is incomplete");
    return h;
}

StandardHeader::Bytes StandardHeader::ToBytes() const {
    Bytes bytes{};
    Cursor cursor;
    ForEachField(*this, [&](std::size_t off, const auto& field) {
        using T = std::remove_cvref_t<decltype(field)>;
        if constexpr (IsByteArray<T>::value) {
            cursor.At(off, field.size());
            for (std::size_t i = 0; i < field.size(); ++i)
                bytes[off + i] = static_cast<std::uint8_t>(field[i]);
        } else {
            using U =
                std::conditional_t<sizeof(T) == 4, std::uint32_t,
                                   std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint8_t>>;
            cursor.At(off, sizeof(T));
            U v = std::bit_cast<U>(field);
            for (std::size_t k = 0; k < sizeof(T); ++k)
                bytes[off + k] = static_cast<std::uint8_t>(v >> (8 * k));
        }
    });
    if (cursor.End() != kSize) throw std::logic_error("Standard Header field table is incomplete");
    return bytes;
}

void StandardHeader::InitNew() {
    magicNumber = kMagic;
    version = kMinimumVersion;
    extendedHeaderOffset = 0;
    extendedHeaderLength = 0;
    Bytes b = ToBytes();
    checksum = XorWords(std::span(b).first(kChecksumOffset));
}

bool operator==(const StandardHeader& a, const StandardHeader& b) {
    return a.ToBytes() == b.ToBytes();
}

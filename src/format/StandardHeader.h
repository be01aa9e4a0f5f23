#pragma once
// The 632-byte Standard Header record that forms the last 632 bytes of a sample
// data file. It is read and written field by field at fixed offsets,
// little-endian whatever the host; the unnamed bytes are kept and written back
// unchanged. The program itself sets only the Magic Number, the Extended Header
// Offset and Length, the Version and the Checksum.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

template <std::size_t N>
using CharField = std::array<char, N>;

struct StandardHeader {
    static constexpr std::size_t kSize = 632;
    static constexpr std::size_t kChecksumOffset = 628;
    static constexpr std::array<char, 4> kMagic = {'T', 'K', 'V', '1'};
    static constexpr float kMinimumVersion = 1.1f;

    using Bytes = std::array<std::uint8_t, kSize>;

    // A new record with the defaults: identity Spectral Separation Matrix, Raw 1,
    // Cap Usage 2, everything else zero.
    StandardHeader();

    static StandardHeader FromBytes(std::span<const std::uint8_t, kSize> bytes);
    Bytes ToBytes() const;

    // Turns a default record into the record of a file that has none.
    void InitNew();
    bool HasMagic() const { return magicNumber == kMagic; }
    // A character field as text: up to its first NUL or its whole width.
    template <std::size_t N>
    static std::string Text(const CharField<N>& field) {
        std::size_t n = 0;
        while (n < N && field[n] != '\0') ++n;
        return std::string(field.data(), n);
    }
    // Sets a character field, cut to its width, NUL-padded.
    template <std::size_t N>
    static void SetText(CharField<N>& field, std::string_view text) {
        field.fill('\0');
        for (std::size_t i = 0; i < N && i < text.size(); ++i) field[i] = text[i];
    }

    CharField<24> sampleName{};                                      // 0
    CharField<30> operatorName{};                                    // 24
    float runVoltage = 0;                                            // 54
    float runTime = 0;                                               // 58
    float injectionTime = 0;                                         // 62
    float injectionVoltage = 0;                                      // 66
    float temperature = 0;                                           // 70
    std::int32_t laserMode = 0;                                      // 74
    float pmtVoltage1 = 0;                                           // 78
    float pmtVoltage2 = 0;                                           // 82
    CharField<30> beamSplitterA{};                                   // 86
    CharField<30> beamSplitterB{};                                   // 116
    CharField<30> filter1{};                                         // 146
    CharField<30> filter2{};                                         // 176
    CharField<30> filter3{};                                         // 206
    CharField<30> filter4{};                                         // 236
    float fillTime = 0;                                              // 266
    float flushTime = 0;                                             // 270
    float lowPressureTime1 = 0;                                      // 274
    float lowPressureTime2 = 0;                                      // 278
    float prerunVoltage = 0;                                         // 282
    float relaxationTime = 0;                                        // 286
    float prerunTime = 0;                                            // 290
    std::array<std::array<float, 4>, 4> spectralSeparationMatrix{};  // 294
    CharField<10> baseOrder1{};                                      // 358
    CharField<10> baseOrder2{};                                      // 368
    CharField<10> baseOrder3{};                                      // 378
    CharField<10> baseOrder4{};                                      // 388
    CharField<52> instrumentId{};                                    // 398
    CharField<4> magicNumber{};                                      // 450
    std::uint32_t extendedHeaderOffset = 0;                          // 454
    std::uint32_t extendedHeaderLength = 0;                          // 458
    float preinjectionTime = 0;                                      // 462
    float preinjectionVoltage = 0;                                   // 466
    std::array<std::uint8_t, 4> unnamed470{};                        // 470
    float userInputTime = 0;                                         // 474
    float sleepTime = 0;                                             // 478
    float sleepTemperature = 0;                                      // 482
    CharField<10> buildNumber{};                                     // 486
    std::int32_t numberOfColumns = 0;                                // 496
    std::int32_t numberOfRows = 0;                                   // 500
    float intervalVoltage = 0;                                       // 504
    std::uint16_t intervalTime = 0;                                  // 508
    float pmtVoltage3 = 0;                                           // 510
    float pmtVoltage4 = 0;                                           // 514
    std::uint16_t numberOfCapillaries = 0;                           // 518 (Version 3.0 on)
    std::array<std::uint8_t, 48> unnamed520{};                       // 520
    CharField<6> runId{};                                            // 568
    CharField<22> plateId{};                                         // 574
    std::int32_t raw = 1;                                            // 596
    std::int32_t saturated = 0;                                      // 600
    float version = 0;                                               // 604
    std::int32_t runStartTime = 0;                                   // 608
    std::int32_t runStopTime = 0;                                    // 612
    std::int32_t numberOfLines = 0;                                  // 616
    std::int32_t scanRate = 0;                                       // 620
    std::uint8_t fileType = 0;                                       // 624
    std::uint8_t numberOfCapillariesOld = 0;                         // 625 (before Version 3.0)
    std::uint8_t capUsage = 2;                                       // 626
    std::uint8_t unnamed627 = 0;                                     // 627
    std::uint32_t checksum = 0;                                      // 628
};

bool operator==(const StandardHeader& a, const StandardHeader& b);

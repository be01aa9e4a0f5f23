#include "format/ExampleFile.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderFile.h"
#include "format/XorWords.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/UserMessages.h"

namespace {

constexpr std::size_t kScans = 40000;
constexpr std::size_t kDyes = 4;

HeaderNode* AddList(HeaderNode& root, HeaderNode& parent, const std::string& label) {
    return HeaderTree::Insert(parent, std::make_unique<HeaderNode>(label, true), &root);
}

void AddLeaf(HeaderNode& root, HeaderNode& parent, const std::string& label, HeaderElement value) {
    auto node = std::make_unique<HeaderNode>(label, false);
    node->value = std::move(value);
    HeaderTree::Insert(parent, std::move(node), &root);
}

HeaderElement Parsed(std::u16string_view text, ElementType type) {
    HeaderElement e;
    std::uint32_t failed = 0;
    if (!e.Parse(text, ToCode(type), failed))
        throw std::logic_error("example value does not parse");
    return e;
}

// Four dye traces of 16-bit samples: a slowly falling baseline, noise, and peaks
// spaced like a sizing ladder. Deterministic, so every build bundles the same file.
std::vector<std::uint8_t> MakeTraceData() {
    std::vector<std::uint8_t> data;
    data.reserve(kScans * kDyes * 2);
    std::uint32_t seed = 0x2545F491u;
    auto noise = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return static_cast<int>(seed % 41) - 20;
    };
    for (std::size_t dye = 0; dye < kDyes; ++dye) {
        for (std::size_t scan = 0; scan < kScans; ++scan) {
            double x = static_cast<double>(scan);
            double level = 400.0 * std::exp(-x / 9000.0) + 80.0;
            for (std::size_t peak = 0; peak < 60; ++peak) {
                double centre =
                    2500.0 + 580.0 * static_cast<double>(peak) + 37.0 * static_cast<double>(dye);
                double d = (x - centre) / 6.0;
                if (std::abs(d) < 6)
                    level += (1500.0 + 350.0 * static_cast<double>((peak * 7 + dye * 3) % 11)) *
                             std::exp(-d * d / 2);
            }
            int v = static_cast<int>(level) + noise();
            if (v < 0) v = 0;
            if (v > 32767) v = 32767;
            data.push_back(static_cast<std::uint8_t>(v & 0xFF));
            data.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    return data;
}

}  // namespace

std::unique_ptr<HeaderNode> ExampleFile::MakeTree() {
    auto root = ExtendedHeader::MakeRoot();
    HeaderNode& r = *root;

    HeaderNode* run = AddList(r, r, "RUN");
    AddLeaf(r, *run, "PROTOCOL", HeaderElement(std::string_view("POP7_36cm_StdSeq")));
    AddLeaf(r, *run, "MODULE", HeaderElement(std::string_view("LongSeq36_POP7_v2")));
    AddLeaf(r, *run, "GAIN", Parsed(u"5", ElementType::Long));
    AddLeaf(r, *run, "OVEN_TEMP", Parsed(u"60", ElementType::Float));
    AddLeaf(r, *run, "RAMP_VOLTAGES", Parsed(u"1.2,2.4,4.8,8.5,13.2", ElementType::Float));
    AddLeaf(r, *run, "CURRENT_UA", Parsed(u"14,15,15,16,15,15,14", ElementType::Short));
    AddLeaf(r, *run, "COMMENT",
            HeaderElement(std::u16string_view(
                u"Plate re-run after 3\u2032 cleanup \u2013 \u00c5ngstr\u00f6m lab")));
    HeaderNode* laser = AddList(r, *run, "LASER");
    AddLeaf(r, *laser, "POWER_MW", Parsed(u"25", ElementType::Float));
    AddLeaf(r, *laser, "WAVELENGTHS", Parsed(u"488,505", ElementType::Short));
    AddLeaf(r, *laser, "ENABLED", Parsed(u"True,False", ElementType::Boolean));

    HeaderNode* sample = AddList(r, r, "SAMPLE");
    AddLeaf(r, *sample, "WELL", HeaderElement(std::string_view("A01")));
    AddLeaf(r, *sample, "ROW", Parsed(u"1", ElementType::Byte));
    AddLeaf(r, *sample, "COLUMN", Parsed(u"1", ElementType::Byte));
    AddLeaf(r, *sample, "IS_CONTROL", Parsed(u"False", ElementType::Boolean));
    AddLeaf(r, *sample, "DILUTION", Parsed(u"0.125", ElementType::Double));
    AddLeaf(r, *sample, "OWNER", HeaderElement(std::u16string_view(u"Dr. Zo\u00eb M\u00fcller")));
    AddLeaf(r, *sample, "INJECTION_COUNT", Parsed(u"2", ElementType::Short));

    HeaderNode* cal = AddList(r, r, "CALIBRATION");
    AddLeaf(r, *cal, "DYE_SET", HeaderElement(std::string_view("Z")));
    AddLeaf(
        r, *cal, "MATRIX",
        Parsed(u"1,0.312,0.051,0.004,0.221,1,0.296,0.032,0.018,0.184,1,0.351,0.002,0.021,0.142,1",
               ElementType::Double));
    HeaderNode* mob = AddList(r, *cal, "MOBILITY");
    AddLeaf(r, *mob, "FILE", HeaderElement(std::string_view("KB_3730_POP7_BDTv3.mob")));
    AddLeaf(r, *mob, "SHIFTS", Parsed(u"-0.42,0.13,0.87,-1.05", ElementType::Double));
    AddLeaf(r, *mob, "VERSION", Parsed(u"3", ElementType::Long));

    HeaderNode* analysis = AddList(r, r, "ANALYSIS");
    AddLeaf(r, *analysis, "BASECALLER", HeaderElement(std::string_view("KB 1.4.1")));
    AddLeaf(r, *analysis, "QV20_PLUS", Parsed(u"712", ElementType::Long));
    HeaderNode* peaks = AddList(r, *analysis, "PEAKS");
    AddLeaf(r, *peaks, "POSITIONS",
            Parsed(u"2512,3091,3675,4252,4838,5417,5996,6580", ElementType::Long));
    AddLeaf(r, *peaks, "HEIGHTS",
            Parsed(u"1840,2210,1975,2630,1512,2088,1797,2345", ElementType::Short));
    AddLeaf(r, *peaks, "QUALITY",
            Parsed(u"0x3f,0x3c,0x3e,0x2a,0x3f,0x3d,0x31,0x3f", ElementType::Byte));

    AddLeaf(r, r, "CHECKED", Parsed(u"True,True,False,True", ElementType::Boolean));
    AddLeaf(r, r, "USER_FLAGS", Parsed(u"0,4,16,255", ElementType::Byte));
    AddLeaf(r, r, "LIMS_ID", Parsed(u"100234577", ElementType::Long));
    return root;
}

StandardHeader ExampleFile::MakeRecord() {
    StandardHeader h;
    StandardHeader::SetText(h.sampleName, "A01_HBB_exon1_F");
    StandardHeader::SetText(h.operatorName, "jmarsh");
    h.runVoltage = 8.5f;
    h.runTime = 2400.0f;
    h.injectionTime = 15.0f;
    h.injectionVoltage = 1.6f;
    h.temperature = 60.0f;
    h.laserMode = 2;
    h.pmtVoltage1 = 1.35f;
    h.pmtVoltage2 = 1.42f;
    StandardHeader::SetText(h.beamSplitterA, "BS-505LP");
    StandardHeader::SetText(h.beamSplitterB, "BS-560LP");
    StandardHeader::SetText(h.filter1, "520/20");
    StandardHeader::SetText(h.filter2, "550/20");
    StandardHeader::SetText(h.filter3, "580/20");
    StandardHeader::SetText(h.filter4, "610/20");
    h.fillTime = 180.0f;
    h.flushTime = 30.0f;
    h.lowPressureTime1 = 12.5f;
    h.lowPressureTime2 = 8.0f;
    h.prerunVoltage = 15.0f;
    h.relaxationTime = 60.0f;
    h.prerunTime = 180.0f;
    const float matrix[4][4] = {{1.0f, 0.31f, 0.05f, 0.0f},
                                {0.22f, 1.0f, 0.3f, 0.03f},
                                {0.02f, 0.18f, 1.0f, 0.35f},
                                {0.0f, 0.02f, 0.14f, 1.0f}};
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = 0; j < 4; ++j) h.spectralSeparationMatrix[i][j] = matrix[i][j];
    StandardHeader::SetText(h.baseOrder1, "G");
    StandardHeader::SetText(h.baseOrder2, "A");
    StandardHeader::SetText(h.baseOrder3, "T");
    StandardHeader::SetText(h.baseOrder4, "C");
    StandardHeader::SetText(h.instrumentId, "TK2-0417-Bench3");
    h.magicNumber = StandardHeader::kMagic;
    h.preinjectionTime = 5.0f;
    h.preinjectionVoltage = 1.0f;
    h.userInputTime = 0.0f;
    h.sleepTime = 0.0f;
    h.sleepTemperature = 25.0f;
    StandardHeader::SetText(h.buildNumber, "3.1.0417");
    h.numberOfColumns = 12;
    h.numberOfRows = 8;
    h.intervalVoltage = 0.5f;
    h.intervalTime = 20;
    h.pmtVoltage3 = 1.44f;
    h.pmtVoltage4 = 1.39f;
    h.numberOfCapillaries = 16;
    StandardHeader::SetText(h.runId, "R0417");
    StandardHeader::SetText(h.plateId, "PLT-2026-11-HBB");
    h.raw = 1;
    h.saturated = 0;
    h.version = 3.0f;
    h.runStartTime = 1793520000;  // 2026-11-01 08:00 UTC
    h.runStopTime = 1793522400;
    h.numberOfLines = static_cast<std::int32_t>(kScans);
    h.scanRate = 1;
    h.fileType = 1;
    h.numberOfCapillariesOld = 16;
    h.capUsage = 2;
    h.extendedHeaderOffset = static_cast<std::uint32_t>(StandardHeader::kSize);
    h.extendedHeaderLength = 0;
    return h;
}

void ExampleFile::Write(const std::string& path) {
    if (FileSystem::Exists(path))
        throw FileError(path, "The file exists already; it is not overwritten.");
    const std::vector<std::uint8_t> data = MakeTraceData();
    StandardHeader record = MakeRecord();
    // The instrument's checksum covers its data too; the example takes the trace
    // data's words as that data word.
    auto bytes = record.ToBytes();
    record.checksum =
        XorWords(std::span(bytes).first(StandardHeader::kChecksumOffset)) ^ XorWords(data);
    bytes = record.ToBytes();

    RandomAccessFile file(path, RandomAccessFile::Mode::Create);
    file.Write(data.data(), data.size());
    file.Write(bytes.data(), bytes.size());
    // The Extended Header goes in through the same rewrite that Save uses.
    auto root = MakeTree();
    SilentMessages quiet;
    WriteHeaders(file, false, true, EncodeExtendedHeader(*root), quiet);
    file.Flush();
    file.Close();
}

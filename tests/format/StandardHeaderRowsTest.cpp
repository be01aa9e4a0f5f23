#include <gtest/gtest.h>

#include <map>

#include "format/StandardHeaderRows.h"
#include "platform/TextCodec.h"

namespace {

std::vector<std::string> Labels(const StandardHeader& h) {
    std::vector<std::string> out;
    for (const auto& r : BuildStandardHeaderRows(h)) out.push_back(TextCodec::ToUtf8(r.label));
    return out;
}

std::string Value(const StandardHeader& h, const std::string& label, int occurrence = 0) {
    for (const auto& r : BuildStandardHeaderRows(h))
        if (TextCodec::ToUtf8(r.label) == label && occurrence-- == 0)
            return TextCodec::ToUtf8(r.value);
    return "<absent>";
}

bool Has(const StandardHeader& h, const std::string& label) {
    return Value(h, label) != "<absent>";
}

TEST(StandardHeaderRowsTest, RowsDependOnVersion) {
    StandardHeader h;
    h.version = 2.2f;
    auto labels = Labels(h);
    EXPECT_EQ(labels.size(), 54u);
    EXPECT_FALSE(Has(h, "Number of Columns"));
    EXPECT_EQ(labels[labels.size() - 3], "Number of Capillaries")
        << "the 8-bit count after File Type";
    h.version = 2.3f;
    EXPECT_TRUE(Has(h, "Number of Columns"));
    EXPECT_TRUE(Has(h, "Number of Rows"));
    h.version = 2.5f;
    EXPECT_FALSE(Has(h, "Interval Voltage [KV]"));
    EXPECT_FALSE(Has(h, "Interval Time"));
    h.intervalVoltage = 0.5f;
    h.intervalTime = 3;
    EXPECT_EQ(Value(h, "Interval Voltage [KV]"), "0.5");
    EXPECT_EQ(Value(h, "Interval Time"), "3");
    h.version = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(Has(h, "Number of Columns")) << "a version that is not a number fails every test";
    EXPECT_EQ(Labels(h)[Labels(h).size() - 3], "Number of Capillaries");
}

TEST(StandardHeaderRowsTest, InstrumentTypeTwoFromVersionThree) {
    StandardHeader h;
    h.version = 3.0f;
    StandardHeader::SetText(h.instrumentId, "TK2-01");
    h.numberOfCapillaries = 96;
    h.numberOfCapillariesOld = 7;
    EXPECT_TRUE(Has(h, "Flush Time"));
    EXPECT_TRUE(Has(h, "Low-Pressure Time 1"));
    EXPECT_TRUE(Has(h, "PMT Voltage 3"));
    EXPECT_EQ(Value(h, "Number of Capillaries"), "96");
    EXPECT_EQ(Value(h, "Number of Capillaries", 1), "<absent>");
    StandardHeader::SetText(h.instrumentId, "TK3-01");
    EXPECT_TRUE(Has(h, "Flush Time 1"));
    EXPECT_TRUE(Has(h, "Low-Pressure Time"));
    EXPECT_FALSE(Has(h, "PMT Voltage 3"));
    EXPECT_EQ(Value(h, "Number of Capillaries"), "96");
    h.version = 2.9f;
    StandardHeader::SetText(h.instrumentId, "TK2-01");
    EXPECT_TRUE(Has(h, "Flush Time 2"));
    EXPECT_EQ(Value(h, "Number of Capillaries"), "7");
}

TEST(StandardHeaderRowsTest, ValueTexts) {
    StandardHeader h;
    h.version = 3.0f;
    h.laserMode = 3;
    h.scanRate = 2;
    EXPECT_EQ(Value(h, "Laser Mode"), "0x00000003");
    EXPECT_EQ(Value(h, "Scan Rate"), "0x00000002");
    h.laserMode = -1;
    h.scanRate = 1;
    EXPECT_EQ(Value(h, "Laser Mode"), "0xFFFFFFFF");
    EXPECT_EQ(Value(h, "Scan Rate"), "3 Hz");
    h.laserMode = 1;
    EXPECT_EQ(Value(h, "Laser Mode"), "Blue");
    EXPECT_EQ(Value(h, "Version"), "3.00");
    EXPECT_EQ(Value(h, "Spectral Separation Matrix[ 2 ]"), "0, 0, 1, 0");
    h.runTime = 1234567.0f;
    EXPECT_EQ(Value(h, "Run Time"), "1.23457e+06");
    h.magicNumber = StandardHeader::kMagic;
    EXPECT_EQ(Value(h, "Magic Number"), "827738964");
    h.extendedHeaderOffset = 0x80000000u;
    EXPECT_EQ(Value(h, "Extended Header Offset"), "-2147483648") << "32-bit fields show signed";
    h.checksum = 0xABCDEF;
    EXPECT_EQ(Value(h, "Checksum"), "0x00ABCDEF");
    for (std::size_t i = 0; i < 24; ++i) h.sampleName[i] = static_cast<char>('a' + i);
    StandardHeader::SetText(h.operatorName, "op");
    EXPECT_EQ(Value(h, "Sample Name"), "abcdefghijklmnopqrstuvwx");
    h.plateId[0] = '\xE9';
    EXPECT_EQ(Value(h, "Plate ID"), "\u00e9");
}

TEST(StandardHeaderRowsTest, TimesInUtc) {
    EXPECT_EQ(FormatRunTime(0), "Thu Jan  1 00:00:00 1970 UTC");
    EXPECT_EQ(FormatRunTime(951782400), "Tue Feb 29 00:00:00 2000 UTC");
    EXPECT_EQ(FormatRunTime(2147483647), "Tue Jan 19 03:14:07 2038 UTC");
    EXPECT_EQ(FormatRunTime(1793520000 + 3661), "Sun Nov  1 09:01:01 2026 UTC");
    EXPECT_EQ(FormatRunTime(-1), " UTC");
}

}  // namespace

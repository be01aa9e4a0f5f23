#include "format/StandardHeaderRows.h"

#include <cinttypes>
#include <cstdio>

#include "model/NumberText.h"
#include "platform/TextCodec.h"

namespace {

std::u16string Ascii(const std::string& s) {
    return TextCodec::WidenAnsi(s);
}

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

class RowList {
  public:
    void Text(const char* label, const std::string& text) {
        Add(label, TextCodec::WidenAnsi(text));
    }
    void Integer(const char* label, std::int64_t v) { Add(label, Ascii(std::to_string(v))); }
    void Real(const char* label, float v) { Add(label, Ascii(NumberText::FormatG(v))); }
    void HexValue(const char* label, std::uint32_t v) { Add(label, Ascii(Hex(v))); }
    void Named(const char* label, std::int32_t v, std::initializer_list<const char*> names) {
        if (v >= 0 && static_cast<std::size_t>(v) < names.size())
            Add(label, Ascii(names.begin()[v]));
        else
            Add(label, Ascii(Hex(static_cast<std::uint32_t>(v))));
    }
    void Add(const std::string& label, std::u16string value) {
        rows.push_back({Ascii(label), std::move(value)});
    }
    std::vector<StandardHeaderRow> rows;
};

// "At least" for versions compared as floats; a version that is not a number
// fails every such test.
bool AtLeast(float version, float bound) {
    return version >= bound;
}

}  // namespace

std::string FormatRunTime(std::int32_t seconds) {
    if (seconds < 0) return " UTC";
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // Civil date from days since the epoch (Howard Hinnant's algorithm), so the
    // result does not depend on the C library's time zone or locale.
    const std::int64_t s = seconds;
    const std::int64_t days = s / 86400;
    const std::int64_t rem = s % 86400;
    std::int64_t z = days + 719468;
    const std::int64_t era = z / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t year = yoe + era * 400;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    if (month <= 2) ++year;
    const int weekday = static_cast<int>((days + 4) % 7);  // 1970-01-01 was a Thursday
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s %2d %02d:%02d:%02d %" PRId64 " UTC", kDays[weekday],
                  kMonths[month - 1], static_cast<int>(day), static_cast<int>(rem / 3600),
                  static_cast<int>(rem / 60 % 60), static_cast<int>(rem % 60), year);
    return buf;
}

std::vector<StandardHeaderRow> BuildStandardHeaderRows(const StandardHeader& h) {
    RowList r;
    const float v = h.version;
    const bool type2 = h.instrumentId[2] == '2';
    const bool v30Type2 = AtLeast(v, 3.0f) && type2;

    r.Text("Sample Name", StandardHeader::Text(h.sampleName));
    r.Text("Operator", StandardHeader::Text(h.operatorName));
    r.Real("Run Time", h.runTime);
    r.Real("Run Voltage", h.runVoltage);
    r.Real("Injection Time", h.injectionTime);
    r.Real("Injection Voltage", h.injectionVoltage);
    r.Real("Temperature", h.temperature);
    r.Named("Laser Mode", h.laserMode, {"Green", "Blue", "Green And Blue"});
    r.Real("PMT Voltage 1", h.pmtVoltage1);
    r.Real("PMT Voltage 2", h.pmtVoltage2);
    r.Text("Beam Splitter A", StandardHeader::Text(h.beamSplitterA));
    r.Text("Beam Splitter B", StandardHeader::Text(h.beamSplitterB));
    r.Text("Filter 1", StandardHeader::Text(h.filter1));
    r.Text("Filter 2", StandardHeader::Text(h.filter2));
    r.Text("Filter 3", StandardHeader::Text(h.filter3));
    r.Text("Filter 4", StandardHeader::Text(h.filter4));
    r.Real("Fill Time", h.fillTime);
    if (v30Type2) {
        r.Real("Flush Time", h.flushTime);
        r.Real("Low-Pressure Time 1", h.lowPressureTime1);
        r.Real("Low-Pressure Time 2", h.lowPressureTime2);
    } else {
        r.Real("Flush Time 1", h.flushTime);
        r.Real("Flush Time 2", h.lowPressureTime1);
        r.Real("Low-Pressure Time", h.lowPressureTime2);
    }
    r.Real("Prerun Time", h.prerunTime);
    r.Real("Relaxation Time", h.relaxationTime);
    r.Real("Prerun Voltage", h.prerunVoltage);
    for (int i = 0; i < 4; ++i) {
        const auto& row = h.spectralSeparationMatrix[static_cast<std::size_t>(i)];
        std::string text;
        for (std::size_t c = 0; c < 4; ++c) {
            if (c > 0) text += ", ";
            text += NumberText::FormatG(row[c]);
        }
        r.Add("Spectral Separation Matrix[ " + std::to_string(i) + " ]", Ascii(text));
    }
    r.Text("Base Order 1", StandardHeader::Text(h.baseOrder1));
    r.Text("Base Order 2", StandardHeader::Text(h.baseOrder2));
    r.Text("Base Order 3", StandardHeader::Text(h.baseOrder3));
    r.Text("Base Order 4", StandardHeader::Text(h.baseOrder4));
    r.Text("Instrument ID", StandardHeader::Text(h.instrumentId));
    std::uint32_t magic = 0;
    for (std::size_t k = 0; k < 4; ++k)
        magic |= static_cast<std::uint32_t>(static_cast<unsigned char>(h.magicNumber[k]))
                 << (8 * k);
    r.Integer("Magic Number", static_cast<std::int32_t>(magic));
    r.Integer("Extended Header Offset", static_cast<std::int32_t>(h.extendedHeaderOffset));
    r.Integer("Extended Header Length", static_cast<std::int32_t>(h.extendedHeaderLength));
    r.Real("Preinjection Time", h.preinjectionTime);
    r.Real("Preinjection Voltage", h.preinjectionVoltage);
    r.Real("User Input Time", h.userInputTime);
    r.Real("Sleep Time", h.sleepTime);
    r.Real("Sleep Temperature", h.sleepTemperature);
    r.Text("Build Number", StandardHeader::Text(h.buildNumber));
    if (AtLeast(v, 2.3f)) {
        r.Integer("Number of Columns", h.numberOfColumns);
        r.Integer("Number of Rows", h.numberOfRows);
    }
    if (AtLeast(v, 2.5f) && h.intervalVoltage > 0)
        r.Real("Interval Voltage [KV]", h.intervalVoltage);
    if (AtLeast(v, 2.5f) && h.intervalTime != 0) r.Integer("Interval Time", h.intervalTime);
    if (v30Type2) {
        r.Real("PMT Voltage 3", h.pmtVoltage3);
        r.Real("PMT Voltage 4", h.pmtVoltage4);
    }
    if (AtLeast(v, 3.0f)) r.Integer("Number of Capillaries", h.numberOfCapillaries);
    r.Text("Run ID", StandardHeader::Text(h.runId));
    r.Text("Plate ID", StandardHeader::Text(h.plateId));
    r.Integer("Raw", h.raw);
    r.Integer("Saturated", h.saturated);
    r.Add("Version", Ascii(NumberText::FormatFixed2(h.version)));
    r.Add("Run Start Time", Ascii(FormatRunTime(h.runStartTime)));
    r.Add("Run Stop Time", Ascii(FormatRunTime(h.runStopTime)));
    r.Integer("Number of Lines", h.numberOfLines);
    r.Named("Scan Rate", h.scanRate, {"1.75 Hz", "3 Hz"});
    r.Integer("File Type", h.fileType);
    if (!AtLeast(v, 3.0f)) r.Integer("Number of Capillaries", h.numberOfCapillariesOld);
    r.Integer("Cap Usage", h.capUsage);
    r.HexValue("Checksum", h.checksum);
    return r.rows;
}

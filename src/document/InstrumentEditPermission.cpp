#include "document/InstrumentEditPermission.h"

#include <cctype>

#include "platform/FileSystem.h"
#include "platform/NativeSettings.h"

InstrumentEditPermission InstrumentEditPermission::FromSystemSettings() {
    return InstrumentEditPermission(
        NativeSettings(kInstrumentCompany, kInstrumentKey).Value("DataSystemPath"));
}

bool InstrumentEditPermission::IsEditAllowed() const {
    if (m_bEditKnown) return m_bEditAllowed;
    m_bEditKnown = true;
    // Without the instrument's folder, editing is allowed on this and every call.
    m_bEditAllowed = !m_dataSystemPath || FolderAllowsEditing(*m_dataSystemPath);
    return m_bEditAllowed;
}

std::string InstrumentEditPermission::ConfigPath(const std::string& dataSystemPath) {
    // The separator goes in even after a trailing one; it does no harm.
    return dataSystemPath.substr(0, 260) + "/" + kConfigFile;
}

bool InstrumentEditPermission::FolderAllowsEditing(const std::string& dataSystemPath) {
    // A file that cannot be read (or is implausibly large) allows editing.
    const auto text = FileSystem::ReadSmallFile(ConfigPath(dataSystemPath), 16u << 20);
    return !text || TextAllowsEditing(*text);
}

bool InstrumentEditPermission::TextAllowsEditing(std::string_view text) {
    const std::string_view keyword = kAllowEdit;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        for (char& c : line)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (line.compare(0, keyword.size(), keyword) != 0) continue;
        std::size_t i = keyword.size();
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i >= line.size()) return true;
        return line[i] != 'N' && line[i] != 'F';  // only the first keyword line counts
    }
    return true;
}

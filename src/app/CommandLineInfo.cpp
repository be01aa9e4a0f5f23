#include "app/CommandLineInfo.h"

#include <algorithm>
#include <cctype>

namespace {
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
}  // namespace

namespace {
// On this platform a path begins with '/', so "/X" is a switch only when X is one
// of the switch names ("-X" always is).
bool IsSwitch(const std::string& a) {
    if (a.size() < 2) return false;
    if (a[0] == '-') return true;
    if (a[0] != '/') return false;
    static const char* const kNames[] = {"pt",         "p",          "dde",        "embedding",
                                         "automation", "unregister", "unregserver"};
    const std::string name = Lower(a.substr(1));
    for (const char* n : kNames)
        if (name == n) return true;
    return false;
}
}  // namespace

void CCommandLineInfo::ParseCommandLine(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool flag = IsSwitch(a);
        ParseParam(flag ? a.substr(1) : a, flag, i + 1 == args.size());
    }
}

void CCommandLineInfo::ParseParam(const std::string& param, bool flag, bool) {
    if (flag) {
        const std::string p = Lower(param);
        if (p == "pt") {
            m_nShellCommand = FilePrintTo;
            m_nPrintToParams = 0;
        } else if (p == "p") {
            m_nShellCommand = FilePrint;
        } else if (p == "unregister" || p == "unregserver") {
            m_nShellCommand = AppUnregister;
        } else if (p == "dde") {
            m_nShellCommand = FileDDE;
        } else if (p == "embedding") {
            m_bRunEmbedded = true;
            m_bShowSplash = false;
        } else if (p == "automation") {
            m_bRunAutomated = true;
            m_bShowSplash = false;
        }
        // Other switches are not the program's and are passed over.
        return;
    }
    if (m_nShellCommand == FilePrintTo && !m_strFileName.empty()) {
        // "/pt file printer driver port"
        std::string* fields[] = {&m_strPrinterName, &m_strDriverName, &m_strPortName};
        if (m_nPrintToParams < 3) *fields[m_nPrintToParams++] = param;
        return;
    }
    if (m_strFileName.empty()) {
        m_strFileName = param;
        if (m_nShellCommand == FileNew) m_nShellCommand = FileOpen;
    }
}

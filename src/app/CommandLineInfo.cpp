#include "app/CommandLineInfo.h"

#include <algorithm>
#include <iterator>

#include "model/LabelCompare.h"

namespace {
// The program's switches, written with "/" or "-" and in any case (compared as
// labels are).
constexpr const char* kSwitches[] = {"pt",         "p",          "dde",         "embedding",
                                     "automation", "unregister", "unregserver", "check"};

// On this platform a path begins with '/', so "/X" is a switch only when X is one
// of the switch names ("-X" always is).
bool IsSwitch(const std::string& a) {
    if (a.size() < 2) return false;
    if (a[0] == '-') return true;
    if (a[0] != '/') return false;
    return std::any_of(std::begin(kSwitches), std::end(kSwitches),
                       [&](const char* name) { return LabelsEqual(a.substr(1), name); });
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
        auto is = [&](const char* name) { return LabelsEqual(param, name); };
        if (is("pt")) {
            m_nShellCommand = FilePrintTo;
            m_nPrintToParams = 0;
        } else if (is("p")) {
            m_nShellCommand = FilePrint;
        } else if (is("unregister") || is("unregserver")) {
            m_nShellCommand = AppUnregister;
        } else if (is("dde")) {
            m_nShellCommand = FileDDE;
        } else if (is("embedding")) {
            m_bRunEmbedded = true;
            m_bShowSplash = false;
        } else if (is("check")) {
            m_bCheck = true;
            m_bShowSplash = false;
        } else if (is("automation")) {
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

#pragma once
// The command line as the program understands it: a file to open, and the
// standard switches for embedding, automation, DDE, printing and unregistering,
// each written with "/" or "-" and in any case.

#include <string>
#include <vector>

class CCommandLineInfo {
  public:
    enum ShellCommand {
        FileNew,
        FileOpen,
        FilePrint,
        FilePrintTo,
        FileDDE,
        AppUnregister,
        FileNothing
    };

    void ParseCommandLine(const std::vector<std::string>& args);

    ShellCommand m_nShellCommand = FileNew;
    std::string m_strFileName;
    std::string m_strPrinterName, m_strDriverName, m_strPortName;
    bool m_bRunEmbedded = false;
    bool m_bRunAutomated = false;
    bool m_bShowSplash = true;
    // -Check FILE: open FILE and look for the help file without showing the
    // window, say what was found and end (a check of an installation).
    bool m_bCheck = false;

  private:
    void ParseParam(const std::string& param, bool flag, bool last);
    int m_nPrintToParams = 0;
};

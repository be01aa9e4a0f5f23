#pragma once
// The application object: the start-up sequence (settings, the document and its
// frame, content-type registration, the start-up folder, the command line), the
// editing permission from the instrument's configuration, About and help.

#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLineInfo.h"
#include "document/InstrumentEditPermission.h"
#include "platform/qt/CommandTarget.h"

class CMainFrame;
class CInstanceChannel;
class CTKVEditorDoc;
class QtUserMessages;
class UserMessages;

class CTKVEditorApp : public EditPermission, public CommandTarget {
  public:
    static constexpr const char* kCompanyKey = "Corvandel";
    static constexpr const char* kHelpFile = "HeaderEditor.chm";
    // The document type's class identifier, made once.
    static constexpr const char* kDocumentClsid = "{6C1F4B2E-8D3A-4E57-9B0C-2F7A91D4E3B5}";
    static constexpr const char* kNoEmbedding =
        "TKV Extended Header Editor: embedding and automation are not available on this platform.";

    // `messages` replaces the message boxes (tests script the answers).
    explicit CTKVEditorApp(UserMessages* messages = nullptr);
    ~CTKVEditorApp() override;

    // Runs start-up with the program's arguments (without the program name);
    // false ends the program at once with ExitCode().
    bool InitInstance(const std::vector<std::string>& args);
    // The command lines that need no window (-Embedding, -Automation,
    // -Unregister), carried out before any GUI exists so that they work without
    // a display; the exit code, or nullopt when the editor is to start.
    static std::optional<int> RunWithoutWindow(const CCommandLineInfo& info);
    int ExitInstance(int result);
    int ExitCode() const { return m_nExitCode; }

    bool IsEditAllowed() const override;
    // True when the content types come with an installation of this program.
    static bool InstalledMimePackage();
    void SetStartFolder(const CCommandLineInfo& info);
    static std::string GetParentFolder(const std::string& path);
    void OnAppAbout();

    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;

    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }
    CTKVEditorDoc* Document() const { return m_pDocument.get(); }
    UserMessages& Messages() const { return *m_pUserMessages; }
    const CCommandLineInfo& CommandLine() const { return m_cmdInfo; }

    // The fields of the document string: 0 window title ... 5 file type id,
    // 6 file type name.
    static std::string DocString(int field);

  private:
    // Asked once, at the first call: the answer holds for the whole run.
    mutable std::optional<InstrumentEditPermission> m_editPermission;
    quint32 m_dwHelpCookie = 0;
    int m_nExitCode = 0;
    CCommandLineInfo m_cmdInfo;
    std::unique_ptr<QtUserMessages> m_pMessages;
    std::unique_ptr<UserMessages> m_pCheckMessages;  // -Check: messages go to standard error
    UserMessages* m_pUserMessages = nullptr;
    std::unique_ptr<CTKVEditorDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<CInstanceChannel> m_channel;  // after the frame: it goes first
};

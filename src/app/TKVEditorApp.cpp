#include "app/TKVEditorApp.h"

#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "app/AboutDlg.h"
#include "app/DocFileDialog.h"
#include "app/HelpWindow.h"
#include "app/InstanceChannel.h"
#include "app/MainFrame.h"
#include "document/TKVEditorDoc.h"
#include "model/HeaderNode.h"
#include "model/LabelCompare.h"
#include "platform/FileTypeRegistry.h"
#include "platform/NativeSettings.h"
#include "platform/qt/QtUserMessages.h"
#include "res/Resource.h"

CTKVEditorApp::CTKVEditorApp(UserMessages* messages) : m_pUserMessages(messages) {}

CTKVEditorApp::~CTKVEditorApp() {
    m_pMainFrame.reset();  // the views leave the document before it goes
}

std::string CTKVEditorApp::DocString(int field) {
    std::istringstream in(IDS_DOC_STRING);
    std::string part;
    for (int i = 0; std::getline(in, part, '\n'); ++i)
        if (i == field) return part;
    return {};
}

std::optional<int> CTKVEditorApp::RunWithoutWindow(const CCommandLineInfo& info) {
    if (info.m_bRunEmbedded || info.m_bRunAutomated) {
        // No window, no registration: there is no container to serve.
        std::fprintf(stderr, "%s\n", kNoEmbedding);
        return 2;
    }
    if (info.m_nShellCommand != CCommandLineInfo::AppUnregister) return std::nullopt;
    const auto registry = FileTypeRegistry::ForUser("", kDocumentClsid);
    const bool removed = registry->Unregister();
    if (!removed)
        std::fprintf(stderr, "TKV Extended Header Editor: %s\n", registry->Failure().c_str());
    // The desktop forgets the content types only once it is told.
    if (registry->Changed() && !std::getenv("TKV_SKIP_MIME_UPDATE")) registry->Announce(true);
    return removed ? 0 : 1;
}

bool CTKVEditorApp::InitInstance(const std::vector<std::string>& args) {
    // This platform has no OLE to initialise; the settings key is the company's,
    // then the application's name.
    QCoreApplication::setOrganizationName(QString::fromLatin1(kCompanyKey));
    QCoreApplication::setApplicationName(QString::fromLatin1(IDS_APP_TITLE));
    QApplication::setWindowIcon(QIcon(":/res/app.png"));

    m_cmdInfo.ParseCommandLine(args);
    if (auto code = RunWithoutWindow(m_cmdInfo)) {
        m_nExitCode = *code;
        return false;
    }

    // A check shows no window: what a message box would say or ask goes to
    // standard error, and every question is answered Cancel.
    if (m_cmdInfo.m_bCheck && !m_pUserMessages) {
        m_pCheckMessages = std::make_unique<StreamMessages>(std::cerr);
        m_pUserMessages = m_pCheckMessages.get();
    }
    // A file to open goes to the user's running editor when there is one.
    if (!m_cmdInfo.m_bCheck && m_cmdInfo.m_nShellCommand == CCommandLineInfo::FileOpen &&
        CInstanceChannel::Forward(
            QFileInfo(QString::fromStdString(m_cmdInfo.m_strFileName)).absoluteFilePath())) {
        m_nExitCode = 0;
        return false;
    }

    if (!m_pUserMessages) {
        m_pMessages = std::make_unique<QtUserMessages>(QString::fromLatin1(IDS_APP_TITLE));
        m_pUserMessages = m_pMessages.get();
    }
    m_pDocument = std::make_unique<CTKVEditorDoc>(*m_pUserMessages, *this);
    m_pMainFrame = std::make_unique<CMainFrame>(*this, *m_pDocument);
    if (m_pMessages) m_pMessages->SetParent(m_pMainFrame.get());
    if (!m_pMainFrame->PreCreateWindow() || m_pMainFrame->OnCreate() != 0 ||
        !m_pMainFrame->OnCreateClient()) {
        m_nExitCode = 1;
        return false;
    }

    // An installed editor's content types come with its installation; a build
    // registers them for the user.
    if (!InstalledMimePackage()) {
        const auto registry = FileTypeRegistry::ForUser(
            QCoreApplication::applicationFilePath().toStdString(), kDocumentClsid);
        const std::string fileTypeId = DocString(5), fileTypeName = DocString(6);
        registry->Register(".tkv", "application/CV-TKV", fileTypeId, fileTypeName);
        registry->Register(".pkv", "application/CV-PKV", fileTypeId, fileTypeName);
        // The desktop learns of changes in the background (TKV_SKIP_MIME_UPDATE
        // set: not at all, as for tests and package builds).
        if (registry->Changed() && !std::getenv("TKV_SKIP_MIME_UPDATE")) registry->Announce(false);
    }
    SetStartFolder(m_cmdInfo);

    bool ok = true;
    switch (m_cmdInfo.m_nShellCommand) {
        case CCommandLineInfo::FileOpen:
            ok = m_pMainFrame->OpenDocumentFile(QString::fromStdString(m_cmdInfo.m_strFileName));
            break;
        case CCommandLineInfo::FilePrint:
        case CCommandLineInfo::FilePrintTo:
            std::fprintf(stderr, "TKV Extended Header Editor: printing is not available.\n");
            ok = false;
            break;
        default:  // a new document (a DDE start waits for nothing here)
            ok = m_pMainFrame->NewDocument();
            break;
    }
    if (m_cmdInfo.m_bCheck) {
        // What an installation check wants to know, and the end of the run.
        const QString help = CMainFrame::HelpFilePath();
        const bool haveHelp = QFileInfo::exists(help);
        if (ok) {
            std::size_t entries = 0;
            HeaderTree::Walk(*m_pDocument->m_pRoot,
                             [&](const HeaderNode&, std::string_view) { ++entries; });
            std::printf("opened %s (%zu Extended Header entries)\n",
                        m_pDocument->GetPathName().c_str(), entries);
        }
        std::printf("%s %s\n", haveHelp ? "help file" : "no help file at",
                    help.toLocal8Bit().constData());
        m_nExitCode =
            ok && haveHelp && m_cmdInfo.m_nShellCommand == CCommandLineInfo::FileOpen ? 0 : 1;
        return false;
    }
    if (!ok) {
        m_nExitCode = 1;
        return false;
    }
    m_pMainFrame->show();
    m_pMainFrame->repaint();
    m_channel = std::make_unique<CInstanceChannel>();
    m_channel->Listen([this](const QString& path) {
        if (!m_pMainFrame) return;
        m_pMainFrame->OpenDocumentFile(path);
        m_pMainFrame->raise();
        m_pMainFrame->activateWindow();
    });
    HtmlHelp(nullptr, QString(), HH_INITIALIZE, reinterpret_cast<quintptr>(&m_dwHelpCookie));
    return true;
}

int CTKVEditorApp::ExitInstance(int result) {
    HtmlHelp(nullptr, QString(), HH_UNINITIALIZE, m_dwHelpCookie);
    return result;
}

bool CTKVEditorApp::InstalledMimePackage() {
#ifdef TKV_MIME_FROM_BIN
    return QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/") +
                             QStringLiteral(TKV_MIME_FROM_BIN) + QStringLiteral("/tkv-editor.xml"));
#else
    return false;
#endif
}

std::string CTKVEditorApp::GetParentFolder(const std::string& path) {
    std::string p = path;
    if (!p.empty() && (p.back() == '\\' || p.back() == '/')) p.pop_back();
    std::size_t at = p.rfind('\\');
    if (at == std::string::npos) at = p.rfind('/');
    if (at != std::string::npos && at > 1) p.resize(at);
    return p;
}

void CTKVEditorApp::SetStartFolder(const CCommandLineInfo& info) {
    if (info.m_nShellCommand != CCommandLineInfo::FileNew) return;
    const NativeSettings system(InstrumentEditPermission::kInstrumentCompany,
                                InstrumentEditPermission::kInstrumentKey);
    for (const std::string group : {"Runwarden", "Orbisight", ""}) {
        const std::string prefix = group.empty() ? std::string() : group + "/";
        if (!group.empty() && !system.HasGroup(group)) continue;
        const std::string d = system.Value(prefix + "DefaultDataPath").value_or("").substr(0, 260);
        const std::string a = system.Value(prefix + "AnalyzedDataPath").value_or("").substr(0, 260);
        const std::string p = GetParentFolder(d), q = GetParentFolder(a);
        if (!p.empty() && p.size() == q.size() && CompareLabels(p, q) == 0) {
            if (::chdir(p.c_str()) != 0) { /* not looked at */
            }
            return;
        }
        if (!a.empty()) {
            if (::chdir(a.c_str()) != 0) { /* not looked at */
            }
            return;
        }
    }
}

bool CTKVEditorApp::IsEditAllowed() const {
    if (!m_editPermission) m_editPermission = InstrumentEditPermission::FromSystemSettings();
    return m_editPermission->IsEditAllowed();
}

void CTKVEditorApp::OnAppAbout() {
    CAboutDlg about(m_pMainFrame.get());
    about.exec();
}

bool CTKVEditorApp::OnCommand(int id) {
    switch (id) {
        case ID_APP_ABOUT:
            OnAppAbout();
            return true;
        case ID_FILE_NEW:
            if (m_pMainFrame) m_pMainFrame->NewDocument();
            return true;
        case ID_FILE_OPEN:
            if (m_pMainFrame) {
                const QString path = CDocFileDialog::Prompt(m_pMainFrame.get(),
                                                            CDocFileDialog::Mode::Open, QString());
                if (!path.isEmpty()) m_pMainFrame->OpenDocumentFile(path);
            }
            return true;
        default:
            return false;
    }
}

bool CTKVEditorApp::OnUpdateCommand(CCmdUI& ui) {
    switch (ui.ID()) {
        case ID_APP_ABOUT:
        case ID_FILE_NEW:
        case ID_FILE_OPEN:
            ui.Enable(true);
            return true;
        default:
            return false;
    }
}

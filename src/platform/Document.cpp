#include "platform/Document.h"

#include <algorithm>
#include <cerrno>

#include "platform/AlreadyReported.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/UserMessages.h"
#include "platform/View.h"

CView::~CView() {
    if (m_pDocument) m_pDocument->RemoveView(this);
}

CDocument::~CDocument() {
    for (CView* v : m_views) v->m_pDocument = nullptr;
}

void CDocument::SetPathName(const std::string& path) {
    m_strPathName = path;
    m_strTitle = FileSystem::DisplayName(path);
}

void CDocument::AddView(CView* view) {
    if (view->m_pDocument) view->m_pDocument->RemoveView(view);
    view->m_pDocument = this;
    m_views.push_back(view);
}

void CDocument::RemoveView(CView* view) {
    std::erase(m_views, view);
    if (view->m_pDocument == this) view->m_pDocument = nullptr;
}

void CDocument::UpdateAllViews(CView* pSender, int hint, void* pObject) {
    // A copy: a view may be added or removed while the update runs.
    const std::vector<CView*> views = m_views;
    struct Depth {
        int& n;
        explicit Depth(int& d) : n(++d) {}
        ~Depth() { --n; }
    } depth(m_nUpdateDepth);
    for (CView* v : views)
        if (v != pSender && std::find(m_views.begin(), m_views.end(), v) != m_views.end())
            v->OnUpdate(pSender, hint, pObject);
    if (m_nUpdateDepth == 1 && m_afterUpdate) m_afterUpdate();
}

bool CDocument::OnNewDocument() {
    DeleteContents();
    m_strPathName.clear();
    m_strTitle = kUntitled;
    m_bModified = false;
    return true;
}

bool CDocument::OpenDocumentFile(const std::string& path) {
    // The flag is cleared first so that a failed open tells whether it touched
    // the contents: an open that sets it again has emptied them.
    const bool wasModified = m_bModified;
    m_bModified = false;
    if (OnOpenDocument(path)) {
        SetPathName(path);
        return true;
    }
    if (!m_bModified) {
        m_bModified = wasModified;  // the file never opened: the document is as it was
    } else {
        // The contents are gone: the document no longer stands for its earlier
        // file, so a Save cannot write the empty tree over it.
        OnNewDocument();
    }
    return false;
}

bool CDocument::DoSave(const std::string& path) {
    if (!OnSaveDocument(path)) return false;
    SetPathName(path);
    return true;
}

void CDocument::Report(const char* what, const std::string& path, std::exception_ptr error) {
    std::string text = what;
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const AlreadyReported&) {
            return;
        } catch (const FileError& e) {
            text += "\n";
            text += e.what();
        } catch (const std::exception& e) {
            text += "\n";
            text += path;
            text += ": ";
            text += e.what();
        } catch (...) {
        }
    }
    m_messages.Show(text);
}

void CDocument::ReportOpenFailure(const std::string& path, std::exception_ptr error) {
    Report("Failed to open document.", path, error);
}

void CDocument::ReportSaveFailure(const std::string& path, std::exception_ptr error) {
    Report("Failed to save document.", path, error);
}

void CDocument::ReportInvalidFileName(const std::string& path, std::exception_ptr error) {
    // The name is not at fault when the system refused the write itself (a
    // read-only mount, no permission, a full disk): the report says the save
    // failed, with the system's cause, as the framework's report for those
    // causes does.
    try {
        if (error) std::rethrow_exception(error);
    } catch (const FileError& e) {
        switch (e.ErrorNumber()) {
            case EROFS:
            case EACCES:
            case EPERM:
            case ENOSPC:
#ifdef EDQUOT
            case EDQUOT:
#endif
            case ETXTBSY:
                Report("Failed to save document.", path, error);
                return;
            default:
                break;
        }
    } catch (...) {
    }
    Report("Invalid filename.", path, error);
}

#pragma once
// The base of a document: path name, title, modified flag, the views attached in
// creation order, and the update of all views. It also carries the steps a
// document template runs around opening and saving, and the three standard
// reports of a failed open or save.

#include <exception>
#include <functional>
#include <string>
#include <vector>

class CView;
class UserMessages;

class CDocument {
  public:
    explicit CDocument(UserMessages& messages) : m_messages(messages) {}
    virtual ~CDocument();
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    const std::string& GetPathName() const { return m_strPathName; }
    // Sets the path name and makes the title the file's display name.
    void SetPathName(const std::string& path);
    void ClearPathName() { m_strPathName.clear(); }
    const std::string& GetTitle() const { return m_strTitle; }
    void SetTitle(const std::string& title) { m_strTitle = title; }
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified) { m_bModified = modified; }

    void AddView(CView* view);
    void RemoveView(CView* view);
    const std::vector<CView*>& Views() const { return m_views; }
    // Calls OnUpdate of every view but the sender, in creation order, before
    // returning. Views may send further updates from OnUpdate.
    void UpdateAllViews(CView* pSender, int hint = 0, void* pObject = nullptr);
    // Called after each update of the views has run (once, after the outermost of
    // nested ones): the frame brings its commands' states up to date there.
    void SetAfterUpdate(std::function<void()> afterUpdate) { m_afterUpdate = std::move(afterUpdate); }

    // What the framework does for the user's New, Open and Save (As).
    virtual bool OnNewDocument();
    virtual bool OnOpenDocument(const std::string& path) = 0;
    virtual bool OnSaveDocument(const std::string& path) = 0;
    virtual void DeleteContents() {}
    // Opens `path` into this document and takes its name on success. A failure
    // that emptied the contents leaves a new, untitled, unmodified document.
    bool OpenDocumentFile(const std::string& path);
    // Saves to `path` and takes its name on success.
    bool DoSave(const std::string& path);

    UserMessages& Messages() const { return m_messages; }

    // The standard reports, with the cause of a file error; nothing for a failure
    // already reported. `error` is the exception caught (may be null).
    void ReportOpenFailure(const std::string& path, std::exception_ptr error);
    void ReportSaveFailure(const std::string& path, std::exception_ptr error);
    void ReportInvalidFileName(const std::string& path, std::exception_ptr error);

    static constexpr const char* kUntitled = "Untitled";

  private:
    void Report(const char* what, const std::string& path, std::exception_ptr error);

    UserMessages& m_messages;
    std::string m_strPathName;
    std::string m_strTitle = kUntitled;
    bool m_bModified = false;
    std::vector<CView*> m_views;
    std::function<void()> m_afterUpdate;
    int m_nUpdateDepth = 0;
};

#pragma once
// The base of the views attached to a document: they learn of every change through
// OnUpdate with a hint code and an object (for the editor, the entry concerned).

class CDocument;

class CView {
  public:
    virtual ~CView();
    CView(const CView&) = delete;
    CView& operator=(const CView&) = delete;

    CDocument* GetDocument() const { return m_pDocument; }
    // Called by CDocument::UpdateAllViews for every view but the sender.
    virtual void OnUpdate(CView* pSender, int hint, void* pObject) = 0;

  protected:
    CView() = default;

  private:
    friend class CDocument;
    CDocument* m_pDocument = nullptr;
};

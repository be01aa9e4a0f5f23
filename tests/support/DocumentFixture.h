#pragma once
// Helpers for document tests: views that record the hints they get, sample files
// with a given tree, and the edits the editing commands make.

#include "document/TKVEditorDoc.h"
#include "platform/View.h"
#include "support/RecordingMessages.h"
#include "support/TestFiles.h"
#include "support/TestSystem.h"
#include "support/Trees.h"

struct HintRecord {
    const CView* receiver;
    const CView* sender;
    int hint;
    void* object;
    std::string label;  // the entry's label when the hint arrived
    bool operator==(const HintRecord&) const = default;
};

class RecordingView : public CView {
  public:
    explicit RecordingView(std::vector<HintRecord>& log) : m_log(log) {}
    void OnUpdate(CView* sender, int hint, void* object) override {
        HintRecord r{this, sender, hint, object, {}};
        if (object && hint != HINT_REFRESH_ALL) r.label = static_cast<HeaderNode*>(object)->label;
        m_log.push_back(r);
        if (onUpdate) onUpdate(sender, hint, object);
    }
    std::function<void(CView*, int, void*)> onUpdate;

  private:
    std::vector<HintRecord>& m_log;
};

class SettablePermission : public EditPermission {
  public:
    bool IsEditAllowed() const override { return allowed; }
    bool allowed = true;
};

// A sample file: `dataSize` bytes of sample data, the tree's block and `record`.
Bytes SampleFile(const HeaderNode& root, StandardHeader record, std::size_t dataSize,
                 std::uint32_t seed);

// The changes the editing commands make, as the folder-wide edit expects them.
HeaderNode* InsertLeaf(CTKVEditorDoc& doc, const std::string& path, HeaderElement value);
HeaderNode* InsertList(CTKVEditorDoc& doc, const std::string& path);
void EditValue(CTKVEditorDoc& doc, HeaderNode* entry, HeaderElement value);

#pragma once
// The server item that stands for a sample file embedded or linked in a
// container. The file's headers do not travel with the container's document:
// the item serializes nothing of them, takes a fixed 30 mm square and draws
// nothing in it. This platform has no OLE runtime; the item is built for the
// container side that a port to one would plug in.

#include <QSize>

class QPainter;
class CTKVEditorDoc;

class CTKVEditorSrvrItem {
  public:
    enum DrawAspect { DVASPECT_CONTENT = 1, DVASPECT_THUMBNAIL = 2, DVASPECT_ICON = 4 };
    static constexpr int kExtent = 3000;  // HIMETRIC units: 30 mm

    CTKVEditorSrvrItem(CTKVEditorDoc* pContainerDoc, bool bLinked)
        : m_pDocument(pContainerDoc), m_bLinked(bLinked) {}

    CTKVEditorDoc* GetDocument() const { return m_pDocument; }
    bool IsLinkedItem() const { return m_bLinked; }

    // Archive bytes of the embedded document: none of the sample file's headers.
    void Serialize(bool storing, std::size_t& bytesWritten) const;
    // The content aspect is 3000 by 3000; other aspects are left to the container.
    bool OnGetExtent(DrawAspect aspect, QSize& size) const;
    // Maps 3000 by 3000 units onto the painter's area and draws nothing.
    bool OnDraw(QPainter& painter, const QSize& size) const;

  private:
    CTKVEditorDoc* m_pDocument;
    bool m_bLinked;
};

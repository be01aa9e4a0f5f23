#include "app/TKVEditorSrvrItem.h"

#include <QPainter>

void CTKVEditorSrvrItem::Serialize(bool, std::size_t& bytesWritten) const {
    // A link carries nothing; an embedded item carries the document's compound
    // file structure only, which holds no header data.
    bytesWritten = 0;
}

bool CTKVEditorSrvrItem::OnGetExtent(DrawAspect aspect, QSize& size) const {
    if (aspect != DVASPECT_CONTENT) return false;
    size = QSize(kExtent, kExtent);
    return true;
}

bool CTKVEditorSrvrItem::OnDraw(QPainter& painter, const QSize&) const {
    painter.setWindow(0, 0, kExtent, kExtent);
    return true;
}

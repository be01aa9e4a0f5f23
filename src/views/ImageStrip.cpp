#include "views/ImageStrip.h"

#include <QPixmap>

ImageStrip::ImageStrip(const QString& resource, int size) {
    const QPixmap strip(resource);
    for (int x = 0; x + size <= strip.width(); x += size)
        m_icons.emplace_back(strip.copy(x, 0, size, strip.height()));
}

const QIcon& ImageStrip::Icon(int index) const {
    if (index < 0 || index >= Count()) return m_none;
    return m_icons[static_cast<std::size_t>(index)];
}

#pragma once
// An image list: a bitmap strip of square images, cut into icons.

#include <QIcon>
#include <QString>
#include <vector>

class ImageStrip {
  public:
    ImageStrip() = default;
    // Loads `resource` and cuts it into images `size` pixels wide.
    ImageStrip(const QString& resource, int size);
    int Count() const { return static_cast<int>(m_icons.size()); }
    const QIcon& Icon(int index) const;

  private:
    std::vector<QIcon> m_icons;
    QIcon m_none;
};

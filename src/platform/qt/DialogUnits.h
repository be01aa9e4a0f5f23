#pragma once
// Dialog units, the measure of dialog templates: a quarter of the font's average
// character width across, an eighth of its height down.

#include <QFontMetrics>
#include <QRect>
#include <QWidget>

class DialogUnits {
  public:
    explicit DialogUnits(const QWidget& widget) {
        const QFontMetrics fm(widget.font());
        // The mean width of the 52 letters, rounded.
        m_baseX = (fm.horizontalAdvance(
                       QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                       26 +
                   1) /
                  2;
        m_baseY = fm.height();
    }
    int X(int du) const { return du * m_baseX / 4; }
    int Y(int du) const { return du * m_baseY / 8; }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

  private:
    int m_baseX;
    int m_baseY;
};

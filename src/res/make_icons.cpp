// Paints the program's bitmaps into PNG files (run by hand when a picture
// changes; the PNGs are checked in and built into the program as resources):
//   tree_images.png  96x16, six images: scroll, "ab" text box, "1,2" box, push pin,
//                    table grid, grey tile with a yellow chain
//   list_images.png  32x16, two images: blank, open folder with a pen
//   toolbar_<id>.png 16x16 tool bar buttons, app.png 32x32 application icon;
//   with a second folder, tkv-editor-<size>.png there for the installed icon theme
#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

using Draw = std::function<void(QPainter&)>;

QImage Paint(int w, int h, const Draw& draw) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    draw(p);
    return img;
}

void Text(QPainter& p, const QRect& r, const QString& t, int px, QColor c = Qt::black) {
    QFont f("DejaVu Sans");
    f.setPixelSize(px);
    f.setBold(true);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, t);
}

void Scroll(QPainter& p) {
    p.setPen(QColor(120, 80, 20));
    p.setBrush(QColor(250, 230, 170));
    p.drawRect(3, 2, 10, 11);
    p.drawEllipse(1, 1, 4, 4);
    p.drawEllipse(11, 11, 4, 4);
    p.setPen(QColor(150, 110, 50));
    for (int y = 5; y <= 10; y += 2) p.drawLine(5, y, 11, y);
}

void TextBox(QPainter& p) {
    p.setPen(QColor(40, 40, 120));
    p.setBrush(Qt::white);
    p.drawRect(0, 2, 15, 11);
    Text(p, QRect(0, 2, 16, 12), "ab", 9, QColor(20, 20, 160));
}

void NumberBox(QPainter& p) {
    p.setPen(QColor(20, 100, 20));
    p.setBrush(QColor(230, 250, 230));
    p.drawRect(0, 2, 15, 11);
    Text(p, QRect(0, 2, 16, 12), "1,2", 8, QColor(0, 110, 0));
}

void PushPin(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(80, 80, 80), 1.5));
    p.drawLine(QPointF(8, 9), QPointF(8, 15));
    p.setPen(QColor(140, 0, 0));
    p.setBrush(QColor(220, 30, 30));
    p.drawRect(5, 1, 6, 6);
    p.drawRect(3, 7, 10, 2);
}

void Grid(QPainter& p) {
    p.setPen(QColor(30, 60, 130));
    p.setBrush(Qt::white);
    p.drawRect(0, 1, 15, 13);
    p.fillRect(1, 2, 14, 3, QColor(120, 150, 210));
    for (int y = 5; y < 14; y += 3) p.drawLine(0, y, 15, y);
    p.drawLine(5, 1, 5, 14);
    p.drawLine(10, 1, 10, 14);
}

void Chain(QPainter& p) {
    p.fillRect(0, 0, 16, 16, QColor(170, 170, 170));
    p.setPen(QColor(110, 110, 110));
    p.drawRect(0, 0, 15, 15);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(255, 215, 0), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(2, 5, 7, 5));
    p.drawEllipse(QRectF(7, 6, 7, 5));
}

void Folder(QPainter& p) {
    p.setPen(QColor(150, 110, 0));
    p.setBrush(QColor(255, 220, 100));
    p.drawRect(0, 4, 11, 10);
    p.drawRect(0, 3, 5, 2);
    p.setBrush(QColor(255, 240, 160));
    QPolygon lid({QPoint(2, 7), QPoint(14, 7), QPoint(11, 14), QPoint(0, 14)});
    p.drawPolygon(lid);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(30, 30, 160), 2));
    p.drawLine(QPointF(9, 9), QPointF(15, 1));
    p.setPen(QPen(Qt::black, 1));
    p.drawPoint(9, 10);
}

void Page(QPainter& p) {
    p.setPen(QColor(90, 90, 90));
    p.setBrush(Qt::white);
    QPolygon page({QPoint(2, 0), QPoint(10, 0), QPoint(13, 3), QPoint(13, 15), QPoint(2, 15)});
    p.drawPolygon(page);
    p.drawLine(10, 0, 10, 3);
    p.drawLine(10, 3, 13, 3);
}

void OpenFolder(QPainter& p) {
    p.setPen(QColor(150, 110, 0));
    p.setBrush(QColor(255, 220, 100));
    p.drawRect(0, 3, 12, 11);
    p.setBrush(QColor(255, 240, 160));
    p.drawPolygon(QPolygon({QPoint(3, 7), QPoint(15, 7), QPoint(12, 14), QPoint(0, 14)}));
    p.setPen(QPen(QColor(0, 120, 0), 2));
    p.drawLine(10, 1, 14, 1);
    p.drawLine(14, 1, 14, 5);
}

void Disk(QPainter& p) {
    p.setPen(QColor(20, 20, 90));
    p.setBrush(QColor(60, 80, 170));
    p.drawRect(1, 1, 13, 13);
    p.fillRect(4, 2, 8, 5, Qt::white);
    p.fillRect(5, 10, 6, 4, QColor(190, 190, 190));
}

void Cross(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(200, 20, 20), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

void Copy(QPainter& p) {
    p.setPen(QColor(90, 90, 90));
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(1, 1, 8, 10);
    p.setBrush(Qt::white);
    p.drawRect(6, 5, 8, 10);
    p.setPen(QColor(120, 120, 200));
    for (int y = 8; y < 14; y += 2) p.drawLine(8, y, 12, y);
}

void Paste(QPainter& p) {
    p.setPen(QColor(110, 70, 20));
    p.setBrush(QColor(190, 140, 70));
    p.drawRect(1, 2, 10, 13);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(4, 0, 4, 3);
    p.setPen(QColor(90, 90, 90));
    p.setBrush(Qt::white);
    p.drawRect(6, 6, 9, 9);
}

// A small image with a green plus in its corner: the insert commands.
Draw WithPlus(Draw base) {
    return [base](QPainter& p) {
        base(p);
        p.fillRect(10, 0, 6, 6, Qt::white);
        p.fillRect(12, 0, 2, 6, QColor(0, 150, 0));
        p.fillRect(10, 2, 6, 2, QColor(0, 150, 0));
    };
}

void FolderAll(QPainter& p) {
    p.setPen(QColor(150, 110, 0));
    p.setBrush(QColor(255, 220, 100));
    p.drawRect(0, 4, 15, 11);
    p.drawRect(0, 2, 6, 2);
    p.setPen(Qt::white);
    p.setBrush(Qt::white);
    for (int k = 0; k < 3; ++k) p.drawRect(2 + 4 * k, 7, 2, 5);
    p.setPen(QColor(60, 60, 60));
    for (int k = 0; k < 3; ++k) p.drawRect(2 + 4 * k, 7, 2, 5);
}

void CancelField(QPainter& p) {
    Folder(p);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(210, 0, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9, 9), QPointF(15, 15));
    p.drawLine(QPointF(15, 9), QPointF(9, 15));
}

void About(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QColor(20, 60, 160));
    p.setBrush(QColor(40, 100, 220));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    Text(p, QRect(0, 0, 16, 16), "?", 12, Qt::white);
}

void Help(QPainter& p) {
    p.setPen(QColor(30, 90, 30));
    p.setBrush(QColor(90, 170, 90));
    p.drawRect(1, 1, 13, 14);
    Text(p, QRect(1, 1, 14, 15), "?", 11, Qt::white);
}

void AppIcon(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QColor(30, 50, 110));
    p.setBrush(QColor(235, 240, 250));
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 4, 4);
    // four coloured traces of a sequencing run
    const QColor colours[] = {QColor(0, 150, 0), QColor(20, 60, 220), QColor(20, 20, 20),
                              QColor(220, 30, 30)};
    for (int k = 0; k < 4; ++k) {
        QPainterPath path;
        path.moveTo(4, 24);
        for (int x = 4; x <= 28; x += 2)
            path.lineTo(x, 24 - ((x / 2 + k * 3) % 7 == 0 ? 14 - 2 * k : 1));
        p.setPen(QPen(colours[k], 1.3));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    p.setPen(QColor(30, 50, 110));
    p.drawLine(4, 26, 28, 26);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : ".";
    const Draw tree[] = {Scroll, TextBox, NumberBox, PushPin, Grid, Chain};
    Paint(96, 16, [&](QPainter& p) {
        for (int i = 0; i < 6; ++i) {
            p.save();
            p.translate(16 * i, 0);
            tree[i](p);
            p.restore();
        }
    }).save(out + "/tree_images.png");
    Paint(32, 16, [](QPainter& p) {
        p.translate(16, 0);
        Folder(p);
    }).save(out + "/list_images.png");
    const std::pair<int, Draw> buttons[] = {
        {57600, Page},
        {57601, OpenFolder},
        {57603, Disk},
        {57604, Disk},
        {57635, Cross},
        {57634, Copy},
        {57637, Paste},
        {32787, WithPlus(TextBox)},
        {32782, WithPlus(NumberBox)},
        {32773, WithPlus(PushPin)},
        {32778, WithPlus(Grid)},
        {32792, FolderAll},
        {32798, CancelField},
        {57664, About},
        {32791, Help},
        {32789, Chain},
        {32788, Folder},
    };
    for (const auto& [id, draw] : buttons)
        Paint(16, 16, draw).save(out + "/toolbar_" + QString::number(id) + ".png");
    Paint(32, 32, AppIcon).save(out + "/app.png");
    // The desktop's icon theme: the same drawing at every size it asks for.
    if (argc > 2)
        for (int size : {16, 32, 48, 64, 128, 256})
            Paint(size, size, [size](QPainter& p) {
                p.scale(size / 32.0, size / 32.0);
                AppIcon(p);
            }).save(QString(argv[2]) + "/tkv-editor-" + QString::number(size) + ".png");
    return 0;
}

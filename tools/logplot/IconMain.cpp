// ventholm-icon FOLDER: writes the station's icon as ventholm.svg and ventholm-<size>.png,
// from the same drawing as the window's icon.
#include "app/StationIcon.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Shapes on images need no application object, so no display and no platform.
    if (argc != 2) {
        std::fprintf(stderr, "Usage: ventholm-icon FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "ventholm-icon: cannot make %s\n", argv[1]);
        return 1;
    }

    QSvgGenerator svg;
    svg.setFileName(folder.filePath(QStringLiteral("ventholm.svg")));
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle(QStringLiteral("Ventholm"));
    {
        QPainter p(&svg);
        vt::DrawStationIcon(p, 32);
    }

    for (int size : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        vt::DrawStationIcon(p, size);
        p.end();
        const QString name = folder.filePath(QStringLiteral("ventholm-%1.png").arg(size));
        if (!image.save(name, "PNG")) {
            std::fprintf(stderr, "ventholm-icon: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}

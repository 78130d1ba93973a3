// roziduv2-icons: writes the program's icon as the PNG files of a desktop icon theme, one per
// size the program draws: OUT/<N>x<N>/apps/roziduv2.png. Run at build time on the offscreen
// platform.
//
//   roziduv2-icons OUT N...
//
// The sizes N are the ones the build expects; a size the icon does not have, or one it has
// that is not asked for, fails the export (exit status 1), so the installed theme always
// matches the drawing.
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <algorithm>
#include <cstdio>

#include "UProgramIcon.h"

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3) {
        std::fputs("usage: roziduv2-icons OUT N...\n", stderr);
        return 2;
    }
    QList<int> wanted;
    for (qsizetype i = 2; i < arguments.size(); ++i)
        wanted.append(arguments.at(i).toInt());
    const QIcon icon = ProgramIcon();
    QList<int> drawn;
    for (const QSize& size : icon.availableSizes())
        if (size.width() == size.height()) drawn.append(size.width());
    std::sort(wanted.begin(), wanted.end());
    std::sort(drawn.begin(), drawn.end());
    if (wanted != drawn) {
        std::fputs("roziduv2-icons: the icon's sizes differ from the sizes asked for\n", stderr);
        return 1;
    }
    for (const int size : drawn) {
        const QString folder = arguments.at(1) + QStringLiteral("/%1x%1/apps").arg(size);
        const QPixmap pixmap = icon.pixmap(QSize(size, size), 1.0);
        if (!QDir().mkpath(folder) || pixmap.size() != QSize(size, size) ||
            !pixmap.save(folder + QStringLiteral("/roziduv2.png"), "PNG")) {
            std::fprintf(stderr, "roziduv2-icons: cannot write %s/roziduv2.png\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}

// velmorant-icons OUTDIR: writes the program's icon for the desktop's icon theme,
// OUTDIR/<N>x<N>/apps/org.velmorant.Velmorant.png for every size of ProgramIconSizes(),
// from the same bitmap and by the same rule as the window icon. Run by the build.
#include <QCoreApplication>
#include <QDir>
#include <QImage>

#include <cstdio>

#include "screens/widgets/ProgramIcon.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmorant-icons OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int size : velmorant::ProgramIconSizes()) {
        const QImage icon = velmorant::ProgramIconImage(size);
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
        const QString path = folder + QStringLiteral("/org.velmorant.Velmorant.png");
        if (icon.isNull() || !QDir().mkpath(folder) || !icon.save(path, "PNG")) {
            std::fprintf(stderr, "velmorant-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}

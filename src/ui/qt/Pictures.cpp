#include "ui/qt/Pictures.h"

#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <array>

// Resource bundles in a static library must be registered by name, outside any namespace.
static void registerPictureResources() {
    Q_INIT_RESOURCE(quoril);
}

namespace quoril {

namespace {

constexpr std::array<int, 11> kPictures = {128, 133, 134, 135, 136, 137, 138, 139, 140, 141, 148};

void ensureResources() {
    static const bool registered = [] {
        registerPictureResources();
        return true;
    }();
    (void)registered;
}

}  // namespace

bool hasPicture(int number) {
    for (int known : kPictures) {
        if (known == number) {
            return true;
        }
    }
    return false;
}

QPixmap picturePixmap(int number, int size) {
    if (!hasPicture(number) || size <= 0) {
        return QPixmap();
    }
    ensureResources();
    QSvgRenderer renderer(QStringLiteral(":/quoril/%1.svg").arg(number));
    if (!renderer.isValid()) {
        return QPixmap();
    }
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return pixmap;
}

QIcon pictureIcon(int number) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        const QPixmap pixmap = picturePixmap(number, size);
        if (pixmap.isNull()) {
            return QIcon();
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace quoril

#include "app/AppIcon.h"

#include <QString>

// The resources live in a static library, so they are registered by hand; the macro must be used outside any
// namespace.
static void RegisterIconResources() {
    Q_INIT_RESOURCE(brenwick);
}

namespace brenwick::app {

QIcon AppIcon() {
    RegisterIconResources();
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/brenwick-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace brenwick::app

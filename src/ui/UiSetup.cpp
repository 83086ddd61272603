#include "UiSetup.h"

#include "CompareImageProvider.h"
#include "ThumbnailProvider.h"
#include "tools/DecodedCopies.h"

#include <QQmlEngine>
#include <QQuickStyle>

namespace UiSetup {

void applyStyle() {
    // Basic is the one style that is fully restyled by the components; the palette is set on
    // the window so the look never follows the desktop's light or dark setting.
    QQuickStyle::setStyle(QStringLiteral("Basic"));
}

void prepareEngine(QQmlEngine& engine) {
    // The module is compiled in; its qmldir lives at qrc:/Tersio.
    engine.addImportPath(QStringLiteral("qrc:/"));
    engine.addImageProvider(QStringLiteral("thumb"), new ThumbnailProvider);
    engine.addImageProvider(QStringLiteral("compare"), new CompareImageProvider);
    // What comparing needs of the photos that were decoded for a run (a 12 MP copy is 36 MB).
    DecodedCopies::setBudget(qint64(1) << 30);
}

} // namespace UiSetup

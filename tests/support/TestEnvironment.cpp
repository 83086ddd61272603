// Linked into every test program, so that one run by hand behaves as under ctest: its own config
// folder (the user's real preferences are never touched), no window system, the source tree.
#include <QByteArray>
#include <QtGlobal>

namespace {

const bool environmentSet = [] {
    qputenv("XDG_CONFIG_HOME", QByteArrayLiteral(TERSIO_TEST_CONFIG));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    qputenv("TERSIO_SOURCE_DIR", QByteArrayLiteral(TERSIO_TEST_SOURCE_DIR));
    return true;
}();

} // namespace

#pragma once

class QQmlEngine;

namespace UiSetup {

// The controls style; must run before the first QML engine exists.
void applyStyle();

// What every engine that shows Tersio's QML needs: the module's import path and the
// thumbnail and compare image providers.
void prepareEngine(QQmlEngine& engine);

} // namespace UiSetup

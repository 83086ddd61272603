#pragma once

#include "engine/AppModel.h"
#include "update/UpdateChecker.h"

#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include <memory>

// The real window over a real AppModel that never searches for tools, for tests and screenshots.
namespace UiFixture {

void prepareApplication(); // once, before the first engine: the style and application names

// A model with default settings and either the Debian ffmpeg's encoders or no tools at all.
std::unique_ptr<AppModel> makeModel(bool withTools);
EncoderCaps debianCaps();

// One item per status, queued to cancelled, as the screenshots show them.
QList<MediaItem> everyStatus();
void appendEveryStatus(AppModel& model);

class Window {
  public:
    explicit Window(AppModel& model);

    QQuickWindow* window() const { return window_; }
    UpdateChecker& updates() { return updates_; }
    QQuickItem* find(const QString& objectName) const;
    QList<QQuickItem*> findAll(const QString& objectName) const;
    QImage grab(); // after bindings, layouts and the scene graph settle
    void settle();

  private:
    UpdateChecker updates_;
    QQmlApplicationEngine engine_;
    QQuickWindow* window_ = nullptr;
};

// Whether an item exists and it and all its ancestors are visible (a closed popup is gone).
bool shown(const QQuickItem* item);

} // namespace UiFixture

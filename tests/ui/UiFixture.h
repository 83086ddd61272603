#pragma once

#include "engine/AppModel.h"
#include "update/UpdateChecker.h"

#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>

#include <memory>

// The real window over a real AppModel that never searches for tools, for tests and for the
// screenshot program.
namespace UiFixture {

// Call once, before the first engine: the controls style and the application's names.
void prepareApplication();

// A model with default settings and either the Debian ffmpeg's encoders or no tools at all.
std::unique_ptr<AppModel> makeModel(bool withTools);
EncoderCaps debianCaps();

// Queue items, one per status, with the sizes and texts the screenshots show.
MediaItem queuedItem();
MediaItem readingItem();
MediaItem workingItem();     // 40 %, encoding
MediaItem doneSmallerItem(); // 60 % smaller, two results
MediaItem doneLargerItem();  // output grew
MediaItem failedItem();      // long message
MediaItem cancelledItem();
void appendEveryStatus(AppModel& model);

class Window {
  public:
    explicit Window(AppModel& model);
    ~Window();

    QQuickWindow* window() const { return window_; }
    UpdateChecker& updates() { return updates_; }
    QQuickItem* find(const QString& objectName) const;
    QList<QQuickItem*> findAll(const QString& objectName) const;
    // Lets bindings, layouts and the scene graph settle, then returns the rendered frame.
    QImage grab();
    void settle();

  private:
    UpdateChecker updates_;
    QQmlApplicationEngine engine_;
    QQuickWindow* window_ = nullptr;
};

// Whether an item exists and it and all its ancestors are visible (a closed popup is gone).
bool shown(const QQuickItem* item);

} // namespace UiFixture

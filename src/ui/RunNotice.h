#pragma once

#include "model/MediaItem.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWindow>

#include <optional>

class AppModel;

// A desktop notification when a long batch ends while the window is in the background, over
// the session bus's freedesktop notification service. Without a session bus or a service the
// run simply ends as it would have: nothing is shown and nothing is reported.
class RunNotice : public QObject {
    Q_OBJECT

  public:
    // Shorter runs end while the user is still looking.
    static constexpr double minimumSeconds = 20.0;

    struct Text {
        QString summary;
        QString body;
        friend bool operator==(const Text&, const Text&) = default;
    };

    // What to say about a run of `items` that took `seconds`; none when nothing should be said.
    static std::optional<Text> text(const QList<MediaItem>& items, double seconds,
                                    bool windowActive);

    RunNotice(AppModel* model, QWindow* window, QObject* parent = nullptr);

  private:
    void runFinished();

    AppModel* model_;
    QPointer<QWindow> window_;
};

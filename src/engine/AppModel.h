#pragma once

#include "engine/QueueModel.h"
#include "engine/SettingsModel.h"
#include "model/MediaItem.h"
#include "model/TersioSettings.h"
#include "tools/EncoderCaps.h"
#include "tools/FFmpegLocator.h"

#include "engine/RunControl.h"
#include "engine/TimeLeft.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <optional>

class BatchRun;
class FactReader;

struct AppModelOptions {
    bool searchToolsAtStart = true;         // false: tests and tools call setTools themselves
    std::optional<TersioSettings> settings; // absent: loaded from the preferences store
    bool saveSettingsOnStart = true;        // false: the command line never writes the store
    bool readFactsWhenAdded = true;         // false: only a run reads its sources
    bool readFactsAtLowestPriority = true;  // false: tests on a loaded machine
};

// The one observable object: the queue, the settings, the tools and the run state.
// Lives on the main thread; probes and encodes run on worker threads and return values.
class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QueueModel* items READ queue CONSTANT)
    Q_PROPERTY(SettingsModel* settings READ settingsModel CONSTANT)
    Q_PROPERTY(QString tab READ tab WRITE setTab NOTIFY tabChanged) // InspectorTab raw value
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(bool hasTools READ hasTools NOTIFY toolsChanged)
    Q_PROPERTY(QString ffmpegPath READ ffmpegPath NOTIFY toolsChanged)
    Q_PROPERTY(QStringList encoders READ encoders NOTIFY capsChanged)
    Q_PROPERTY(QString toolNote READ toolNote NOTIFY toolNoteChanged)
    Q_PROPERTY(int itemCount READ itemCount NOTIFY totalsChanged)
    Q_PROPERTY(int pendingCount READ pendingCount NOTIFY totalsChanged)
    Q_PROPERTY(int doneCount READ doneCount NOTIFY totalsChanged)
    Q_PROPERTY(qint64 totalSaved READ totalSaved NOTIFY totalsChanged)
    Q_PROPERTY(qint64 totalSource READ totalSource NOTIFY totalsChanged)
    // "About 3 min left" while a run goes on and has an estimate; empty otherwise.
    Q_PROPERTY(QString timeLeftText READ timeLeftText NOTIFY timeLeftChanged)

  public:
    explicit AppModel(QObject* parent = nullptr);
    explicit AppModel(const AppModelOptions& options, QObject* parent = nullptr);
    // Stops every running encode and waits for the workers, so no temporary file outlives it.
    ~AppModel() override;

    QueueModel* queue() const;
    SettingsModel* settingsModel() const;
    FactReader* factReader() const; // null when facts are only read by a run

    const QList<MediaItem>& items() const;
    const TersioSettings& settings() const;
    void setSettings(const TersioSettings& settings);

    QString tab() const;
    InspectorTab currentTab() const { return tab_; }
    void setTab(const QString& rawValue);
    bool isRunning() const;
    bool hasTools() const;
    QString ffmpegPath() const;
    const std::optional<FFmpegTools>& tools() const;
    const EncoderCaps& caps() const;
    QStringList encoders() const;
    QString toolNote() const;
    // Stores a search result as refreshTools() would, without searching.
    void setTools(const std::optional<FFmpegTools>& tools, const EncoderCaps& caps);

    int itemCount() const;
    int pendingCount() const;
    int doneCount() const;
    qint64 totalSaved() const;
    qint64 totalSource() const;
    QString timeLeftText() const;

    // The items the latest run encodes (not those it only names), as they are now.
    QList<MediaItem> runItems() const;
    // Seconds the latest run has taken so far, or took.
    double runSeconds() const;

    Q_INVOKABLE void refreshTools();
    Q_INVOKABLE void setCustomFFmpeg(const QUrl& url);
    Q_INVOKABLE void add(const QList<QUrl>& urls);
    Q_INVOKABLE void remove(const QString& id); // QUuid text
    Q_INVOKABLE void clearFinished();
    Q_INVOKABLE void clearAll(); // cancel(), then empty the queue
    Q_INVOKABLE void start();
    // Runs only the queued items in `part`. Queued items before the last of them are read and
    // named but left as they are, so `part` gets exactly the names a run of the whole queue
    // would give it; later items are not looked at.
    void startPart(const QSet<QUuid>& part);
    Q_INVOKABLE void cancel();

  signals:
    void tabChanged();
    void isRunningChanged();
    void toolsChanged();
    void capsChanged();
    void toolNoteChanged();
    void totalsChanged();
    void toolsRefreshed(); // a tool search has finished and its result is stored
    void runFinished();    // the scheduler's loop has ended
    void timeLeftChanged();

  private:
    void setToolNote(const QString& note);
    void setRunning(bool running);
    void runEnded();
    void launch(QList<QUuid> ids, QSet<QUuid> namedOnly);
    void updateTimeLeft();

    QueueModel* queue_;
    FactReader* reader_ = nullptr;
    SettingsModel* settings_;
    InspectorTab tab_ = InspectorTab::media;
    bool running_ = false;
    std::optional<FFmpegTools> tools_;
    EncoderCaps caps_;
    QString toolNote_;
    bool saveSettingsOnStart_ = true;
    RunControl control_;
    BatchRun* run_ = nullptr;
    QList<QUuid> runIds_;
    QElapsedTimer runClock_;
    double runSeconds_ = 0; // of a run that has ended
    TimeLeft timeLeft_;
    QString timeLeftText_;
    QTimer timeLeftTicker_;
    QThreadPool workers_; // tool search, probes and encodes; never the model
};

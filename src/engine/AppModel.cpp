#include "AppModel.h"

#include "engine/BatchRun.h"
#include "engine/FactReader.h"
#include "engine/MediaScan.h"
#include "engine/SourceReading.h"
#include "model/Preferences.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

const QString notFoundNote =
    QStringLiteral("FFmpeg not found. Install it with apt, or point the app at a copy.");

struct ToolSearch {
    std::optional<FFmpegTools> tools;
    EncoderCaps caps;
};

} // namespace

AppModel::AppModel(QObject* parent) : AppModel(AppModelOptions{}, parent) {}

AppModel::AppModel(const AppModelOptions& options, QObject* parent)
    : QObject(parent), queue_(new QueueModel(this)),
      reader_(options.readFactsWhenAdded
                  ? new FactReader(queue_, options.readFactsAtLowestPriority, this)
                  : nullptr),
      settings_(
          new SettingsModel(options.settings ? *options.settings : TersioSettings::load(), this)),
      toolNote_(QStringLiteral("Looking for FFmpeg\u2026")),
      saveSettingsOnStart_(options.saveSettingsOnStart) {
    // Every encode blocks a worker for its whole run; six items plus probes and a tool search.
    workers_.setMaxThreadCount(12);
    connect(queue_, &QueueModel::figuresChanged, this, &AppModel::totalsChanged);
    timeLeftTicker_.setInterval(1000);
    connect(&timeLeftTicker_, &QTimer::timeout, this, &AppModel::updateTimeLeft);
    if (reader_)
        reader_->setPosterLook([this] {
            return tools_ ? SourceReading::posterLookTool(settings(), tools_->ffmpeg) : QString();
        });
    if (options.searchToolsAtStart)
        refreshTools();
}

AppModel::~AppModel() {
    control_.stopRequested = true;
    control_.stopAll();
    workers_.waitForDone();
}

QueueModel* AppModel::queue() const {
    return queue_;
}
SettingsModel* AppModel::settingsModel() const {
    return settings_;
}
FactReader* AppModel::factReader() const {
    return reader_;
}
const QList<MediaItem>& AppModel::items() const {
    return queue_->items();
}
const TersioSettings& AppModel::settings() const {
    return settings_->settings();
}
void AppModel::setSettings(const TersioSettings& settings) {
    settings_->setSettings(settings);
}

QString AppModel::tab() const {
    return Options::rawValue(tab_);
}

void AppModel::setTab(const QString& rawValue) {
    const auto tab = Options::fromRaw<InspectorTab>(rawValue);
    if (!tab || *tab == tab_)
        return;
    tab_ = *tab;
    emit tabChanged();
}

bool AppModel::isRunning() const {
    return running_;
}
bool AppModel::hasTools() const {
    return tools_.has_value();
}
QString AppModel::ffmpegPath() const {
    return tools_ ? tools_->ffmpeg : QString();
}
const std::optional<FFmpegTools>& AppModel::tools() const {
    return tools_;
}
const EncoderCaps& AppModel::caps() const {
    return caps_;
}

QStringList AppModel::encoders() const {
    QStringList names(caps_.names.begin(), caps_.names.end());
    names.sort();
    return names;
}

QString AppModel::toolNote() const {
    return toolNote_;
}

void AppModel::setTools(const std::optional<FFmpegTools>& tools, const EncoderCaps& caps) {
    const bool toolsDiffer = tools != tools_;
    const bool capsDiffer = caps != caps_;
    tools_ = tools;
    caps_ = tools ? caps : EncoderCaps{};
    if (reader_)
        reader_->setProbe(tools ? tools->ffprobe : std::nullopt);
    if (toolsDiffer)
        emit toolsChanged();
    if (capsDiffer)
        emit capsChanged();
    setToolNote(tools ? tools->ffmpeg : notFoundNote);
}

void AppModel::setToolNote(const QString& note) {
    if (note == toolNote_)
        return;
    toolNote_ = note;
    emit toolNoteChanged();
}

int AppModel::itemCount() const {
    return queue_->rowCount();
}
int AppModel::pendingCount() const {
    return queue_->pendingCount();
}
int AppModel::doneCount() const {
    return queue_->doneCount();
}
qint64 AppModel::totalSaved() const {
    return queue_->totalSaved();
}
qint64 AppModel::totalSource() const {
    return queue_->totalSource();
}

void AppModel::refreshTools() {
    // Searches started close together all run; whichever finishes last is stored.
    QtConcurrent::run(&workers_, [] {
        ToolSearch search;
        search.tools = FFmpegLocator::locate();
        if (search.tools)
            search.caps = EncoderCaps::detect(search.tools->ffmpeg);
        return search;
    }).then(this, [this](const ToolSearch& search) {
        setTools(search.tools, search.caps);
        emit toolsRefreshed();
    });
}

void AppModel::setCustomFFmpeg(const QUrl& url) {
    Preferences::storeFFmpegPath(url.isLocalFile() ? url.toLocalFile() : url.toString());
    refreshTools();
}

void AppModel::add(const QList<QUrl>& urls) {
    QSet<QString> queued;
    queued.reserve(queue_->rowCount());
    for (const MediaItem& item : queue_->items())
        queued.insert(MediaScan::standardPath(item.url.toLocalFile()));
    QList<QUuid> added;
    for (const MediaItem& item : MediaScan::collect(urls, queued)) {
        queue_->append(item);
        added.append(item.id);
    }
    if (reader_ && !added.isEmpty())
        reader_->enqueue(added);
}

void AppModel::remove(const QString& id) {
    const QUuid uuid(id);
    control_.stopJob(uuid);
    queue_->removeIf([&uuid](const MediaItem& item) { return item.id == uuid; });
}

void AppModel::clearFinished() {
    queue_->removeIf(
        [](const MediaItem& item) { return item.status.value == ItemStatus::Case::done; });
}

void AppModel::clearAll() {
    cancel();
    queue_->clear();
}

void AppModel::start() {
    QList<QUuid> ids;
    for (const MediaItem& item : queue_->items())
        if (item.status.needsWork())
            ids.append(item.id);
    launch(std::move(ids), {});
}

void AppModel::startPart(const QSet<QUuid>& part) {
    QList<QUuid> ids;
    for (const MediaItem& item : queue_->items())
        if (item.status.needsWork())
            ids.append(item.id);
    while (!ids.isEmpty() && !part.contains(ids.last()))
        ids.removeLast();
    QSet<QUuid> namedOnly;
    for (const QUuid& id : std::as_const(ids))
        if (!part.contains(id))
            namedOnly.insert(id);
    launch(std::move(ids), std::move(namedOnly));
}

void AppModel::launch(QList<QUuid> ids, QSet<QUuid> namedOnly) {
    if (running_ || !tools_ || ids.isEmpty())
        return;

    if (saveSettingsOnStart_)
        settings().save();
    control_.stopRequested = false;
    runIds_.clear();
    for (const QUuid& id : std::as_const(ids))
        if (!namedOnly.contains(id))
            runIds_ << id;
    runClock_.start();
    timeLeft_ = TimeLeft();
    timeLeftTicker_.start();
    setRunning(true);
    auto snapshot = std::make_shared<const RunSnapshot>(
        RunSnapshot{*tools_, settings(), caps_, std::move(namedOnly)});
    run_ = new BatchRun(std::move(ids), std::move(snapshot), queue_, &control_, &workers_, this);
    connect(run_, &BatchRun::finished, this, &AppModel::runEnded);
    run_->start();
}

void AppModel::cancel() {
    control_.stopRequested = true;
    control_.stopAll();
}

void AppModel::runEnded() {
    run_->deleteLater();
    run_ = nullptr;
    runSeconds_ = double(runClock_.elapsed()) / 1000.0;
    timeLeftTicker_.stop();
    if (!timeLeftText_.isEmpty()) {
        timeLeftText_.clear();
        emit timeLeftChanged();
    }
    control_.stopRequested = false;
    setRunning(false);
    emit runFinished();
}

void AppModel::setRunning(bool running) {
    if (running == running_)
        return;
    running_ = running;
    emit isRunningChanged();
}

QString AppModel::timeLeftText() const {
    return timeLeftText_;
}

QList<MediaItem> AppModel::runItems() const {
    QList<MediaItem> items;
    for (const QUuid& id : runIds_)
        if (const MediaItem* item = queue_->find(id))
            items << *item;
    return items;
}

double AppModel::runSeconds() const {
    return running_ ? double(runClock_.elapsed()) / 1000.0 : runSeconds_;
}

void AppModel::updateTimeLeft() {
    const QString text =
        TimeLeft::text(timeLeft_.update(TimeLeft::batchFraction(runItems()), runSeconds()));
    if (text == timeLeftText_)
        return;
    timeLeftText_ = text;
    emit timeLeftChanged();
}

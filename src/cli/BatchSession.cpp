#include "BatchSession.h"

#include "Console.h"
#include "RunReport.h"
#include "SummaryFile.h"

#include "engine/AppModel.h"
#include "model/ByteCount.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace {

bool hasFinished(const MediaItem& item) {
    const auto c = item.status.value;
    return c == ItemStatus::Case::done || c == ItemStatus::Case::failed ||
           c == ItemStatus::Case::cancelled;
}

} // namespace

BatchSession::BatchSession(AppModel* model, Output output, Scope scope, QObject* parent)
    : QObject(parent), model_(model), output_(output), scope_(std::move(scope)) {
    connect(model_->queue(), &QAbstractItemModel::dataChanged, this, &BatchSession::sweep);
    connect(model_, &AppModel::runFinished, this, &BatchSession::finished);
    if (output_ == Output::live) {
        ticker_.setInterval(100); // at most ten redraws a second
        connect(&ticker_, &QTimer::timeout, this, [this] { redraw({}); });
    }
}

void BatchSession::start() {
    clock_.start();
    if (stopSignal_ != 0) { // stopped before it began: start() would clear the stop request
        finished();
        return;
    }
    if (output_ == Output::live)
        ticker_.start();
    if (scope_.shard) {
        QSet<QUuid> part;
        for (const MediaItem& item : ownItems())
            part.insert(item.id);
        model_->startPart(part);
    } else {
        model_->start();
    }
    if (!model_->isRunning()) // nothing was started, so no runFinished will come
        finished();
}

void BatchSession::stop(int signalNumber) {
    if (stopSignal_ == 0)
        stopSignal_ = signalNumber;
    if (output_ == Output::live)
        pending_ << u"Stopping… (press Ctrl-C again to quit at once)"_s;
    model_->cancel();
}

QList<MediaItem> BatchSession::ownItems() const {
    return RunReport::part(model_->items(), scope_.shard);
}

// Reports each item once, when it has finished.
void BatchSession::sweep() {
    for (const MediaItem& item : ownItems()) {
        if (!hasFinished(item) || reported_.contains(item.id))
            continue;
        reported_.insert(item.id);
        const bool failed = item.status.value == ItemStatus::Case::failed;
        switch (output_) {
        case Output::live:
            pending_ << RunReport::finishedLine(item);
            break;
        case Output::lines:
            Console::out(RunReport::finishedLine(item) + u'\n');
            break;
        case Output::quiet:
            if (failed)
                Console::err(RunReport::finishedLine(item) + u'\n');
            break;
        case Output::json:
            break;
        }
    }
}

void BatchSession::redraw(const QStringList& permanent) {
    sweep();
    const QStringList lines = pending_ + permanent;
    pending_.clear();
    const double elapsed = double(clock_.elapsed()) / 1000.0;
    QStringList live;
    if (permanent.isEmpty()) {
        const QList<MediaItem> items = ownItems();
        const auto left = timeLeft_.update(TimeLeft::batchFraction(items), elapsed);
        live = ProgressView::lines(items, elapsed, Console::columns(), left);
    }
    if (lines.isEmpty() && live == lastLive_)
        return; // nothing new to show: spare the terminal
    lastLive_ = live;
    Console::out(frame_.next(lines, live));
}

void BatchSession::finished() {
    ticker_.stop();
    sweep();
    const QList<MediaItem> items = ownItems();
    if (output_ == Output::live) {
        const auto t = RunReport::totals(items);
        QString summary = QString::number(t.done) + u" done"_s;
        if (t.failed)
            summary += u", "_s + QString::number(t.failed) + u" failed"_s;
        if (t.cancelled)
            summary += u", "_s + QString::number(t.cancelled) + u" cancelled"_s;
        summary += u" in "_s + ProgressView::clock(double(clock_.elapsed()) / 1000.0);
        if (t.done)
            summary += u"; saved "_s + ByteCount::text(t.savedBytes) + u" of "_s +
                       ByteCount::text(t.sourceBytes);
        redraw({summary});
    }
    const QJsonDocument summary = RunReport::summary(model_->items(), scope_.shard);
    if (output_ == Output::json)
        Console::out(summary.toJson(QJsonDocument::Indented));
    int status = RunReport::exitStatus(items, stopSignal_);
    if (!scope_.summaryFile.isEmpty()) {
        // An engine reads a missing summary as a lost worker; a run must not claim success then.
        if (const QString error = SummaryFile::write(scope_.summaryFile, summary);
            !error.isEmpty()) {
            Console::err(u"tersio-cli: "_s + error + u'\n');
            status = status == 0 ? 1 : status;
        }
    }
    QCoreApplication::exit(status);
}

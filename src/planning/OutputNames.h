#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Which name each output of a run gets, so that no run writes one file twice. A pure function
// of the queue: the same planned destinations in the same order always give the same names,
// wherever and whenever they are computed.
namespace OutputNames {

// Longest file name, in bytes, that Linux file systems store.
inline constexpr qsizetype nameLimit = 255;

// One planned output: the folder it goes to (in whatever canonical form the caller compares
// folders in) and the file name the planner built.
struct Slot {
    QString folder;
    QString name;

    friend bool operator==(const Slot&, const Slot&) = default;
};

// "photo.jpg", 2 -> "photo-2.jpg"; "clip-9x16.mp4", 3 -> "clip-9x16-3.mp4".
QString numbered(const QString& fileName, int number);

// The names claimed so far in one run, in queue order.
class Claims {
  public:
    // `reserved`: folder + "/" + name of files no output may take (the queued originals).
    explicit Claims(QSet<QString> reserved = {}) : taken_(std::move(reserved)) {}

    // One item's final names, in plan order, without claiming them: a planned name that is
    // free is kept, a taken one gets the smallest free "-N". Outputs of the item itself count.
    QStringList names(const QList<Slot>& wanted) const;

    // Claims what names() gave for the same outputs.
    void take(const QList<Slot>& wanted, const QStringList& names);

    bool isTaken(const QString& folder, const QString& name) const;

    // More names no output may take.
    void reserve(const QSet<QString>& keys) { taken_.unite(keys); }

  private:
    QSet<QString> taken_;
};

// Every item of a queue at once, in queue order: the same as names() then take() per item.
QList<QStringList> assign(const QList<QList<Slot>>& items, const QSet<QString>& reserved = {});

} // namespace OutputNames

#include "OutputNames.h"

namespace OutputNames {
namespace {

QString key(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

QString numbered(const QString& fileName, int number) {
    const QString tag = QLatin1Char('-') + QString::number(number);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return fileName + tag;
    return fileName.left(dot) + tag + fileName.mid(dot);
}

QStringList Claims::names(const QList<Slot>& wanted) const {
    QSet<QString> local;
    QStringList result;
    for (const Slot& slot : wanted) {
        const auto free = [&](const QString& name) {
            const QString k = key(slot.folder, name);
            return !taken_.contains(k) && !local.contains(k);
        };
        QString name = slot.name;
        for (int number = 2; !free(name); ++number)
            name = numbered(slot.name, number);
        local.insert(key(slot.folder, name));
        result << name;
    }
    return result;
}

void Claims::take(const QList<Slot>& wanted, const QStringList& names) {
    for (qsizetype i = 0; i < wanted.size() && i < names.size(); ++i)
        taken_.insert(key(wanted.at(i).folder, names.at(i)));
}

bool Claims::isTaken(const QString& folder, const QString& name) const {
    return taken_.contains(key(folder, name));
}

QList<QStringList> assign(const QList<QList<Slot>>& items, const QSet<QString>& reserved) {
    Claims claims(reserved);
    QList<QStringList> result;
    for (const QList<Slot>& wanted : items) {
        result << claims.names(wanted);
        claims.take(wanted, result.last());
    }
    return result;
}

} // namespace OutputNames

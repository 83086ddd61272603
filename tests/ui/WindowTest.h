#pragma once

#include "UiFixture.h"

#include <QAccessible>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QQmlProperty>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using UiFixture::shown;

// Small helpers for tests that drive the real window.
namespace WindowTest {

inline QString textOf(const QQuickItem* item) {
    return item ? item->property("text").toString() : u"<missing>"_s;
}

// Present in the window but not drawn.
inline bool hidden(const UiFixture::Window& window, const QString& name) {
    const QQuickItem* item = window.find(name);
    return item && !shown(item);
}

inline QPointF centreOf(const QQuickItem* item) {
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
}

inline void type(QQuickWindow* window, const QString& text) {
    for (QChar c : text)
        QTest::keyClick(window, c.toLatin1());
}

inline void click(QQuickWindow* window, const QQuickItem* item) {
    QTest::mouseClick(window, Qt::LeftButton, {}, centreOf(item).toPoint());
}

// The visible items with that objectName, in tree order.
inline QList<QQuickItem*> visible(const UiFixture::Window& window, const QString& name) {
    QList<QQuickItem*> result;
    for (QQuickItem* item : window.findAll(name))
        if (shown(item))
            result << item;
    return result;
}

} // namespace WindowTest

#pragma once

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QtQml/qqmlregistration.h>

// Where the compare view draws its picture pair: the zoom, the picture's place in the view and
// the divider between original and output. The divider keeps its place in the view while the
// picture moves under it, but never leaves the part of the picture that is shown.
class CompareViewport : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QSizeF pictureSize READ pictureSize WRITE setPictureSize NOTIFY changed)
    Q_PROPERTY(QSizeF viewSize READ viewSize WRITE setViewSize NOTIFY changed)
    Q_PROPERTY(double zoom READ zoom NOTIFY changed)
    Q_PROPERTY(bool fitting READ fitting NOTIFY changed)
    Q_PROPERTY(QRectF picture READ picture NOTIFY changed)
    Q_PROPERTY(double divider READ divider NOTIFY changed)
    Q_PROPERTY(QString zoomText READ zoomText NOTIFY changed)

  public:
    static constexpr double largestZoom = 8;

    using QObject::QObject;

    // A new picture starts fitted.
    QSizeF pictureSize() const { return pictureSize_; }
    void setPictureSize(QSizeF size);
    QSizeF viewSize() const { return viewSize_; }
    void setViewSize(QSizeF size);

    // View pixels per picture pixel.
    double zoom() const;
    // The whole picture in view, never enlarged; the zoom follows the view's size.
    bool fitting() const { return fitting_; }
    // The scaled picture in view coordinates.
    QRectF picture() const;
    // The divider's x in view coordinates.
    double divider() const;
    // "34%"
    QString zoomText() const;

    Q_INVOKABLE void fit();
    Q_INVOKABLE void zoomTo(double zoom);
    // One stop up or down a fixed ladder of zooms; going below the fit fits.
    Q_INVOKABLE void zoomIn();
    Q_INVOKABLE void zoomOut();
    // The picture point under `anchor` (view coordinates) stays there: wheel and pinch.
    Q_INVOKABLE void zoomBy(double factor, QPointF anchor);
    Q_INVOKABLE void panBy(QPointF delta);
    Q_INVOKABLE void setDivider(double x);
    // Each step is a twentieth of the shown picture's width.
    Q_INVOKABLE void moveDivider(int steps);

  signals:
    void changed();

  private:
    double fitZoom() const;
    QPointF viewCentre() const;
    QPointF centre() const;
    QRectF shown() const;
    void place(double zoom, QPointF centre);

    QSizeF pictureSize_;
    QSizeF viewSize_;
    bool fitting_ = true;
    double zoom_ = 1;           // while not fitting
    QPointF centre_;            // the picture point (in picture pixels) at the view's centre
    double dividerShare_ = 0.5; // of the view's width
};

#include "CompareViewport.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr std::array<double, 13> stops{1 / 8.0, 1 / 6.0, 1 / 4.0, 1 / 3.0, 1 / 2.0, 2 / 3.0, 1.0,
                                       1.5,     2.0,     3.0,     4.0,     6.0,     8.0};
// A zoom within 1 % of a stop counts as on it, so rounding never makes a key press do nothing.
constexpr double near = 1.01;
constexpr int dividerSteps = 20;

} // namespace

void CompareViewport::setPictureSize(QSizeF size) {
    if (size == pictureSize_)
        return;
    pictureSize_ = size;
    fit();
}

void CompareViewport::setViewSize(QSizeF size) {
    if (size == viewSize_)
        return;
    viewSize_ = size;
    if (fitting_)
        emit changed();
    else
        place(zoom_, centre_);
}

double CompareViewport::fitZoom() const {
    if (pictureSize_.isEmpty() || viewSize_.isEmpty())
        return 1;
    return std::min({viewSize_.width() / pictureSize_.width(),
                     viewSize_.height() / pictureSize_.height(), 1.0});
}

double CompareViewport::zoom() const {
    return fitting_ ? fitZoom() : zoom_;
}

QPointF CompareViewport::viewCentre() const {
    return {viewSize_.width() / 2, viewSize_.height() / 2};
}

QPointF CompareViewport::centre() const {
    return fitting_ ? QPointF(pictureSize_.width() / 2, pictureSize_.height() / 2) : centre_;
}

QRectF CompareViewport::picture() const {
    const double z = zoom();
    return {viewCentre() - centre() * z, pictureSize_ * z};
}

QRectF CompareViewport::shown() const {
    return picture().intersected(QRectF(QPointF(), viewSize_));
}

double CompareViewport::divider() const {
    const double wanted = dividerShare_ * viewSize_.width();
    const QRectF visible = shown();
    return visible.isEmpty() ? wanted : std::clamp(wanted, visible.left(), visible.right());
}

QString CompareViewport::zoomText() const {
    return QString::number(std::lround(zoom() * 100)) + u'%';
}

void CompareViewport::fit() {
    fitting_ = true;
    emit changed();
}

// Off the picture's edges only where it is smaller than the view, and then centred.
void CompareViewport::place(double zoom, QPointF centre) {
    fitting_ = false;
    zoom_ = std::clamp(zoom, fitZoom(), largestZoom);
    const auto axis = [this](double wanted, double picture, double view) {
        const double half = view / 2 / zoom_;
        return picture <= 2 * half ? picture / 2 : std::clamp(wanted, half, picture - half);
    };
    centre_ = {axis(centre.x(), pictureSize_.width(), viewSize_.width()),
               axis(centre.y(), pictureSize_.height(), viewSize_.height())};
    emit changed();
}

void CompareViewport::zoomBy(double factor, QPointF anchor) {
    if (!(factor > 0) || pictureSize_.isEmpty())
        return;
    const double from = zoom();
    const double to = std::min(from * factor, largestZoom);
    // Zooming out to the fit, or to within rounding of it, fits.
    if (to < fitZoom() || (factor < 1 && to < fitZoom() * near)) {
        fit();
        return;
    }
    const QPointF offset = anchor - viewCentre();
    place(to, centre() + offset / from - offset / to);
}

void CompareViewport::zoomTo(double zoom) {
    zoomBy(zoom / this->zoom(), viewCentre());
}

void CompareViewport::zoomIn() {
    const double from = zoom();
    const auto next = std::find_if(stops.begin(), stops.end(),
                                   [from](double stop) { return stop > from * near; });
    zoomTo(next == stops.end() ? largestZoom : *next);
}

void CompareViewport::zoomOut() {
    const double from = zoom();
    const auto previous = std::find_if(stops.rbegin(), stops.rend(),
                                       [from](double stop) { return stop < from / near; });
    if (previous == stops.rend() || *previous <= fitZoom())
        fit();
    else
        zoomTo(*previous);
}

void CompareViewport::panBy(QPointF delta) {
    if (!fitting_)
        place(zoom_, centre_ - delta / zoom_);
}

void CompareViewport::setDivider(double x) {
    if (viewSize_.width() <= 0)
        return;
    const QRectF visible = shown();
    if (!visible.isEmpty())
        x = std::clamp(x, visible.left(), visible.right());
    dividerShare_ = std::clamp(x / viewSize_.width(), 0.0, 1.0);
    emit changed();
}

void CompareViewport::moveDivider(int steps) {
    setDivider(divider() + steps * shown().width() / dividerSteps);
}

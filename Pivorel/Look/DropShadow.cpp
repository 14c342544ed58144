#include "Pivorel/Look/DropShadow.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

namespace pivorel {

namespace {

// One pass of a box blur of width 2r+1 over a row or column of alpha bytes.
void boxBlur(std::vector<int>& line, int r, std::vector<int>& scratch) {
    const int n = static_cast<int>(line.size());
    scratch.assign(line.size(), 0);
    int sum = 0;
    const int width = 2 * r + 1;
    for (int i = -r; i <= r; ++i) sum += (i >= 0 && i < n) ? line[static_cast<size_t>(i)] : 0;
    for (int i = 0; i < n; ++i) {
        scratch[static_cast<size_t>(i)] = sum / width;
        const int out = i - r;
        const int in = i + r + 1;
        if (out >= 0) sum -= line[static_cast<size_t>(out)];
        if (in < n) sum += line[static_cast<size_t>(in)];
    }
    line.swap(scratch);
}

// Three box passes in each direction approximate a Gaussian with sigma = radius / 2.
void blurAlpha(QImage& image, double radius) {
    const double sigma = radius / 2;
    const int r =
        std::max(1, static_cast<int>(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2)));
    const int w = image.width();
    const int h = image.height();
    std::vector<int> line;
    std::vector<int> scratch;
    for (int y = 0; y < h; ++y) {
        uchar* row = image.scanLine(y);
        line.assign(row, row + w);
        for (int pass = 0; pass < 3; ++pass) boxBlur(line, r, scratch);
        for (int x = 0; x < w; ++x) row[x] = static_cast<uchar>(line[static_cast<size_t>(x)]);
    }
    for (int x = 0; x < w; ++x) {
        line.resize(static_cast<size_t>(h));
        for (int y = 0; y < h; ++y) line[static_cast<size_t>(y)] = image.scanLine(y)[x];
        for (int pass = 0; pass < 3; ++pass) boxBlur(line, r, scratch);
        for (int y = 0; y < h; ++y)
            image.scanLine(y)[x] = static_cast<uchar>(line[static_cast<size_t>(y)]);
    }
}

}  // namespace

DropShadow::DropShadow(double opacity, double radius, QPointF offset)
    : opacity_(opacity), radius_(radius), offset_(offset) {}

QImage DropShadow::render(const QPainterPath& shape, double scale) const {
    const QRectF bounds = shape.boundingRect();
    const double pad = radius_ * 2;
    const QSize size(static_cast<int>(std::ceil((bounds.width() + 2 * pad) * scale)),
                     static_cast<int>(std::ceil((bounds.height() + 2 * pad) * scale)));
    QImage image(size, QImage::Format_Alpha8);
    image.fill(0);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        p.translate(pad - bounds.x(), pad - bounds.y());
        p.fillPath(shape, Qt::black);
    }
    blurAlpha(image, radius_ * scale);
    image.setDevicePixelRatio(scale);
    return image;
}

void DropShadow::paint(QPainter& painter, const QPainterPath& shape) {
    if (shape.isEmpty()) return;
    const double scale = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QRectF bounds = shape.boundingRect();
    // The shape moves with its view's layout; only a new size or shape needs a new blur.
    const QPainterPath normalized = shape.translated(-bounds.topLeft());
    if (cached_.isNull() || scale != cachedScale_ || normalized != cachedShape_) {
        cached_ = render(shape, scale);
        cachedShape_ = normalized;
        cachedScale_ = scale;
    }
    const double pad = radius_ * 2;
    painter.save();
    painter.setOpacity(painter.opacity() * opacity_);
    painter.drawImage(bounds.topLeft() - QPointF(pad, pad) + offset_, cached_);
    painter.restore();
}

}  // namespace pivorel

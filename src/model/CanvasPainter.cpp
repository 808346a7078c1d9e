#include "model/CanvasPainter.h"

#include "model/AnnotationRenderer.h"
#include "model/CanvasModel.h"
#include "model/CaptionPanel.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

#include <sys/mman.h>

namespace vistrel {

namespace {

// Shadow reach of an image tile: blur radius 18 spreads about 27 points, offset 6 down.
constexpr double shadowSigma = 9;
constexpr double shadowReach = 27;
constexpr double shadowOffset = 6;
constexpr double shadowAlpha = 0.28;

// The blurred shadow of a large square, to be cut into corners and edges: the blur's ramp
// spans [0, 2·reach] from each side.
const QImage &shadowPatch()
{
    static const QImage patch = [] {
        // Two plain columns in the middle give the edges something to stretch.
        const int e = int(shadowReach), n = 4 * e + 2;
        auto ramp = [&](double t) {
            auto phi = [](double v) { return 0.5 * std::erfc(-v / std::sqrt(2.0)); };
            return phi((t - e) / shadowSigma) - phi((t - (n - e)) / shadowSigma);
        };
        QImage img(n, n, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < n; ++y) {
            auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < n; ++x) {
                const int a = int(std::lround(255 * shadowAlpha * ramp(x + 0.5) * ramp(y + 0.5)));
                line[x] = qRgba(0, 0, 0, a);
            }
        }
        return img;
    }();
    return patch;
}

// A small tile of the background with a dot on each corner; repeated, it puts dots on the
// absolute 28-point lattice.
const QImage &dotTile()
{
    static const QImage tile = [] {
        const int s = int(CanvasModel::dotSpacing);
        QImage img(s, s, QImage::Format_ARGB32_Premultiplied);
        img.fill(CanvasModel::canvasColor());
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(CanvasModel::dotColor());
        const double r = CanvasModel::dotDiameter / 2;
        for (QPointF c : {QPointF(0, 0), QPointF(s, 0), QPointF(0, s), QPointF(s, s)})
            p.drawEllipse(c, r, r);
        return img;
    }();
    return tile;
}

} // namespace

QColor CanvasPainter::accentColor()
{
    return QGuiApplication::palette().color(QPalette::Highlight);
}

QRectF CanvasPainter::tileArea(const QRectF &frame)
{
    return frame.adjusted(-shadowReach, -shadowReach, shadowReach, shadowReach + shadowOffset)
        .adjusted(-6, -6, 6, 6); // the selection ring and its corner circles
}

const QImage &CanvasPainter::pixelatedImage() const
{
    if (!m_pixelatedBuilt) {
        m_pixelated = pixelate(m_model.baseImage());
        m_pixelatedBuilt = true;
    }
    return m_pixelated;
}

void CanvasPainter::paintTile(QPainter &p, const QRectF &frame, const QImage &picture,
                              bool screen) const
{
    if (screen) {
        // The shadow's corners and edges from the blurred patch; its middle lies under the
        // tile and is never seen.
        const QImage &patch = shadowPatch();
        const double e2 = 2 * shadowReach;
        const QRectF s = frame.translated(0, shadowOffset)
                             .adjusted(-shadowReach, -shadowReach, shadowReach, shadowReach);
        const double mx = std::min(e2, s.width() / 2), my = std::min(e2, s.height() / 2);
        const double n = patch.width();
        const double xs[] = {s.left(), s.left() + mx, s.right() - mx, s.right()};
        const double ys[] = {s.top(), s.top() + my, s.bottom() - my, s.bottom()};
        const double us[] = {0, e2, n - e2, n};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                if (i == 1 && j == 1)
                    continue;
                const QRectF target(xs[i], ys[j], xs[i + 1] - xs[i], ys[j + 1] - ys[j]);
                if (target.width() <= 0 || target.height() <= 0)
                    continue;
                const QRectF source(us[i], us[j], us[i + 1] - us[i], us[j + 1] - us[j]);
                p.drawImage(target, patch, source);
            }
        }
        if (picture.hasAlphaChannel())
            p.fillRect(frame, Qt::white);
    }
    const bool exact = qFuzzyCompare(frame.width(), double(picture.width())) &&
                       qFuzzyCompare(frame.height(), double(picture.height()));
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, !exact);
    p.drawImage(frame, picture);
    p.restore();
}

void CanvasPainter::paint(QPainter &p, const QRectF &dirty, bool screen) const
{
    if (screen) {
        p.save();
        p.setPen(Qt::NoPen);
        // The lattice runs from the canvas's bottom-left corner, `margin` beyond the picture's.
        p.setBrushOrigin(m_model.primaryRect().bottomLeft() +
                         QPointF(-CanvasModel::margin, CanvasModel::margin));
        p.fillRect(dirty, QBrush(dotTile()));
        p.restore();
    }
    auto visible = [&](const QRectF &r) { return r.intersects(dirty); };

    if (visible(tileArea(m_model.primaryRect())))
        paintTile(p, m_model.primaryRect(), m_model.baseImage(), screen);
    for (const PlacedImageRef &img : m_model.extraImages())
        if (visible(tileArea(img->frame)))
            paintTile(p, img->frame, img->picture, screen);

    const QImage *pixelated = nullptr;
    const QPointF origin = m_model.primaryRect().topLeft();
    for (const AnnotationRef &m : m_model.annotations()) {
        if (!visible(CanvasModel::paintRect(*m)))
            continue;
        if (MarkRules::of(m->kind).pixelated && !pixelated)
            pixelated = &pixelatedImage();
        AnnotationRenderer::draw(p, *m, pixelated, origin);
    }
    if (screen && m_model.draft()) {
        if (MarkRules::of(m_model.draft()->kind).pixelated)
            pixelated = &pixelatedImage();
        AnnotationRenderer::draw(p, *m_model.draft(), pixelated, origin);
    }
    if (const auto snap = m_model.snapPreview(); screen && snap) {
        const QColor accent = accentColor();
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF b = snap->adjusted(-2, -2, 2, 2);
        p.setPen(QPen(accent, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(b, 3, 3);
        QColor fill = accent;
        fill.setAlphaF(0.12f);
        p.fillRect(b, fill);
        p.restore();
    }
    if (const auto panel = m_model.captionPanelRect(); panel && visible(*panel))
        CaptionPanel::draw(p, *panel, m_model.captionedSteps());
    if (screen && m_model.crop())
        paintCrop(p, dirty);
    if (screen)
        paintDecorations(p);
}

void CanvasPainter::paintCrop(QPainter &p, const QRectF &dirty) const
{
    // What the export leaves out is dimmed; the frame and, with the crop tool, its corners.
    const QRectF crop = m_model.crop()->normalized();
    const QColor dim(0, 0, 0, 110);
    const QRectF around = dirty.united(crop);
    p.fillRect(QRectF(around.left(), around.top(), crop.left() - around.left(), around.height()),
               dim);
    p.fillRect(QRectF(crop.right(), around.top(), around.right() - crop.right(), around.height()),
               dim);
    p.fillRect(QRectF(crop.left(), around.top(), crop.width(), crop.top() - around.top()), dim);
    p.fillRect(QRectF(crop.left(), crop.bottom(), crop.width(), around.bottom() - crop.bottom()),
               dim);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen frame(Qt::white, 1.5);
    frame.setCosmetic(true);
    p.setPen(frame);
    p.setBrush(Qt::NoBrush);
    p.drawRect(crop);
    if (m_model.currentTool() == ToolKind::Crop) {
        p.setPen(QPen(accentColor(), 1));
        p.setBrush(Qt::white);
        for (const HandlePoint &h : cornerHandles(crop))
            p.drawEllipse(h.point, 5, 5);
    }
    p.restore();
}

void CanvasPainter::paintDecorations(QPainter &p) const
{
    const QColor accent = accentColor();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (m_model.selected()) {
        QPen dashed(accent, 1);
        dashed.setDashPattern({4, 3});
        p.setPen(dashed);
        p.setBrush(Qt::NoBrush);
        p.drawRect(m_model.selected()->boundingRect().adjusted(-4, -4, 4, 4));
        p.setPen(QPen(accent, 1));
        p.setBrush(Qt::white);
        for (const HandlePoint &h : m_model.selectionHandlePoints(*m_model.selected()))
            p.drawEllipse(h.point, 4.5, 4.5);
    }
    if (m_model.selectedImage()) {
        const QRectF ring = m_model.selectedImage()->frame.adjusted(-3, -3, 3, 3);
        p.setPen(QPen(accent, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(ring);
        p.setPen(QPen(accent, 1));
        p.setBrush(Qt::white);
        for (const HandlePoint &h : cornerHandles(ring))
            p.drawEllipse(h.point, 5, 5);
    }
    p.restore();
}

// Big ones are backed by huge pages where the kernel offers them: a 4K board export is tens
// of megabytes, and faulting it in 4 KiB pages cost more than painting it.
QImage CanvasPainter::exportBitmap(int w, int h)
{
    const qsizetype bpl = qsizetype(w) * 4;
    const qsizetype bytes = bpl * h;
    constexpr qsizetype huge = 2 * 1024 * 1024;
    if (bytes < 4 * huge || w > (1 << 28) / 4)
        return QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    const size_t rounded = size_t((bytes + huge - 1) / huge * huge);
    void *data = std::aligned_alloc(size_t(huge), rounded);
    if (!data)
        return {};
    madvise(data, rounded, MADV_HUGEPAGE); // a hint: without it the pages are ordinary
    return QImage(
        static_cast<uchar *>(data), w, h, bpl, QImage::Format_ARGB32_Premultiplied,
        [](void *p) { std::free(p); }, data);
}

QImage CanvasPainter::renderComposite(bool opaqueBackground) const
{
    const QRectF r = m_model.exportRect();
    const int w = int(r.width()), h = int(r.height());
    if (w <= 0 || h <= 0)
        return {};
    QImage out = exportBitmap(w, h);
    if (out.isNull())
        return {};
    if (std::any_of(m_model.annotations().cbegin(), m_model.annotations().cend(),
                    [](const AnnotationRef &m) { return MarkRules::of(m->kind).pixelated; }))
        pixelatedImage(); // built once, before the bands share it

    // Horizontal bands of the bitmap are painted on every core; each band sees the whole
    // scene through its own clip, so the seams cannot show.
    const int bands = qint64(w) * h >= 1'000'000 ? std::max(1, QThread::idealThreadCount()) : 1;
    std::vector<int> indices(static_cast<size_t>(bands));
    std::iota(indices.begin(), indices.end(), 0);
    std::atomic<bool> failed = false;
    auto paintBand = [&](int i) {
        const int y0 = int(qint64(h) * i / bands), y1 = int(qint64(h) * (i + 1) / bands);
        QImage band(out.scanLine(y0), w, y1 - y0, out.bytesPerLine(), out.format());
        band.fill(opaqueBackground ? Qt::white : Qt::transparent);
        QPainter p(&band);
        if (!p.isActive()) {
            failed = true;
            return;
        }
        // Canvas point (minX, minY) is the whole bitmap's top-left pixel.
        p.setTransform(QTransform::fromTranslate(-r.left(), -r.top() - y0));
        paint(p, QRectF(r.left(), r.top() + y0, r.width(), y1 - y0), false);
    };
    if (bands > 1)
        QtConcurrent::blockingMap(indices, paintBand);
    else
        paintBand(0);
    return failed ? QImage() : out;
}

} // namespace vistrel

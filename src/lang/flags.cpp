#include "flags.h"

#include <QLabel>
#include <QPainter>
#include <QPolygonF>

namespace {

void stripes(QPainter &p, const QRectF &r, std::initializer_list<QColor> colours, Qt::Orientation direction,
    std::initializer_list<double> shares = {})
{
    const QList<double> weights
        = shares.size() == colours.size() ? QList<double>(shares) : QList<double>(qsizetype(colours.size()), 1.0);
    double total = 0;
    for (double w : weights)
        total += w;
    double at = 0;
    int i = 0;
    for (const QColor &colour : colours) {
        const double share = weights.at(i++) / total;
        const QRectF band = direction == Qt::Horizontal
            ? QRectF(r.left(), r.top() + at * r.height(), r.width(), share * r.height())
            : QRectF(r.left() + at * r.width(), r.top(), share * r.width(), r.height());
        p.fillRect(band, colour);
        at += share;
    }
}

void nordicCross(QPainter &p, const QRectF &r, const QColor &field, const QColor &cross)
{
    p.fillRect(r, field);
    const double bar = r.height() * 0.25;
    p.fillRect(QRectF(r.left(), r.center().y() - bar / 2, r.width(), bar), cross);
    p.fillRect(QRectF(r.left() + r.width() * 0.3, r.top(), bar, r.height()), cross);
}

void unionFlag(QPainter &p, const QRectF &r)
{
    p.fillRect(r, QColor(1, 33, 105));
    p.setPen(QPen(Qt::white, r.height() * 0.2));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.bottomLeft(), r.topRight());
    p.setPen(QPen(QColor(200, 16, 46), r.height() * 0.07));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.bottomLeft(), r.topRight());
    p.setPen(Qt::NoPen);
    const double white = r.height() * 0.33, red = r.height() * 0.2;
    p.fillRect(QRectF(r.left(), r.center().y() - white / 2, r.width(), white), Qt::white);
    p.fillRect(QRectF(r.center().x() - white / 2, r.top(), white, r.height()), Qt::white);
    p.fillRect(QRectF(r.left(), r.center().y() - red / 2, r.width(), red), QColor(200, 16, 46));
    p.fillRect(QRectF(r.center().x() - red / 2, r.top(), red, r.height()), QColor(200, 16, 46));
}

} // namespace

QPixmap flagPixmap(const QString &name, int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0, 0, width, height);
    if (name == QLatin1String("ENGLISH")) {
        unionFlag(p, r);
    } else if (name == QLatin1String("SPANISH")) {
        stripes(p, r, {QColor(170, 21, 27), QColor(241, 191, 0), QColor(170, 21, 27)}, Qt::Horizontal, {1, 2, 1});
    } else if (name == QLatin1String("PORTUGUESE")) {
        stripes(p, r, {QColor(0, 102, 0), QColor(255, 0, 0)}, Qt::Vertical, {2, 3});
    } else if (name == QLatin1String("HUNGARIAN")) {
        stripes(p, r, {QColor(205, 42, 62), Qt::white, QColor(67, 111, 77)}, Qt::Horizontal);
    } else if (name == QLatin1String("CZECH")) {
        stripes(p, r, {Qt::white, QColor(215, 20, 26)}, Qt::Horizontal);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(17, 69, 126));
        p.drawPolygon(QPolygonF({r.topLeft(), QPointF(r.width() / 2, r.center().y()), r.bottomLeft()}));
    } else if (name == QLatin1String("FINNISH")) {
        nordicCross(p, r, Qt::white, QColor(0, 47, 108));
    } else if (name == QLatin1String("DUTCH")) {
        stripes(p, r, {QColor(174, 28, 40), Qt::white, QColor(33, 70, 139)}, Qt::Horizontal);
    } else if (name == QLatin1String("SWEDISH")) {
        nordicCross(p, r, QColor(0, 106, 167), QColor(254, 204, 0));
    } else {
        p.fillRect(r, Qt::lightGray);
    }
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    return pixmap;
}

void setFlag(QLabel &label, int languageIndex, const QString &languageName)
{
    label.setPixmap(flagPixmap(languageName));
    label.setProperty("iconNumber", languageIndex + 2);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The feedback display: painting, the short movement of PlayItem and its sound.
#include "resbank.h"

#include "common/numbers.h"
#include "feedback/feedbackart.h"
#include "feedback/feedbacklibrary.h"
#include "feedback/feedbackplayer.h"
#include "feedback/feedbackseries.h"

#include <QAccessible>
#include <QPainter>
#include <QVariantAnimation>
#include <cmath>
#include <limits>

namespace {

// Where the picture is at moment t (0..1) of its movement. The picture
// never grows past its square, so it is never cut at the bank's edges.
struct Pose
{
    double scale = 1;
    double dx = 0;    // in squares
    double angle = 0; // degrees
};

Pose poseAt(int item, double t)
{
    Pose pose;
    switch (item) {
    case 0: { // bounces, with a wiggle
        pose.scale = 1 - 0.2 * (1 - t) * (1 - t) * std::fabs(std::cos(2.5 * Pi * t));
        pose.angle = 8 * (1 - t) * std::sin(4 * Pi * t);
        const double a = pose.angle * Pi / 180;
        pose.scale /= std::fabs(std::cos(a)) + std::fabs(std::sin(a));
        break;
    }
    case 1: // shakes its head
        pose.scale = 1 - 0.12 * (1 - t);
        pose.dx = (1 - pose.scale) / 2 * std::sin(12 * Pi * t);
        break;
    default: // breathes once
        pose.scale = 1 - 0.06 * std::sin(Pi * t);
        break;
    }
    return pose;
}

} // namespace

ResBank::ResBank(QWidget *parent)
    : QWidget(parent)
    , m_animation(new QVariantAnimation(this))
    , m_player(new FeedbackPlayer(nullptr, this))
{
    setAccessibleName(QStringLiteral("フィードバック"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    m_animation->setDuration(AnimationMs);
    connect(m_animation, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        m_performed.reset();
        update();
    });
}

ResBank::~ResBank() = default;

void ResBank::setOutcomeText(const QString &text)
{
    if (text == m_outcome)
        return;
    m_outcome = text;
    // The event carries the text; the description holds it afterwards.
    QAccessibleValueChangeEvent value(this, text);
    QAccessible::updateAccessibility(&value);
    QAccessibleEvent description(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
}

void ResBank::setSources(FeedbackLibrary *library, AudioOutput *audio)
{
    m_library = library;
    m_ownLibrary.reset();
    delete m_player;
    m_player = new FeedbackPlayer(audio, this);
    m_look.reset();
    m_performed.reset();
    update();
}

FeedbackLibrary &ResBank::library()
{
    if (m_library)
        return *m_library;
    if (!m_ownLibrary)
        m_ownLibrary = std::make_unique<FeedbackLibrary>();
    return *m_ownLibrary;
}

int32_t ResBank::SeriesNumber() const
{
    if (std::isnan(m_series))
        return 0;
    const double rounded = std::nearbyint(m_series); // default rounding: halves to even
    if (rounded >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (rounded <= double(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return int32_t(rounded);
}

void ResBank::setSeriesNumber(double series)
{
    m_series = series;
    m_look = library().find(SeriesNumber());
    update();
}

void ResBank::setItemNumber(int16_t item)
{
    if (m_item == item)
        return;
    m_item = item;
    if (isAnimating() && FeedbackSeries::index(item) != FeedbackSeries::index(m_performedItem)) {
        m_animation->stop();
        m_performed.reset();
    }
    static const char *const descriptions[] = {"せいかい", "ざんねん", ""};
    setAccessibleDescription(QString::fromUtf8(item >= 0 && item <= 2 ? descriptions[item] : ""));
    update();
}

void ResBank::PlayItem(int32_t series, int32_t item)
{
    m_performed = m_look && m_look->number() == series ? m_look : library().find(series);
    m_performedItem = item;
    m_player->play(m_performed->sound(item));
    m_animation->stop();
    m_animation->start();
    update();
}

bool ResBank::isAnimating() const
{
    return m_performed && m_animation->state() == QAbstractAnimation::Running;
}

const FeedbackSeries &ResBank::shownSeries()
{
    if (!m_look)
        m_look = library().find(SeriesNumber());
    return *m_look;
}

void ResBank::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    const qreal side = qMin(width(), height());
    if (side < 4)
        return;
    const QRectF square((width() - side) / 2, (height() - side) / 2, side, side);
    if (!isAnimating()) {
        shownSeries().paint(p, square, m_item);
        return;
    }
    const double t = m_animation->currentValue().toDouble();
    const int item = FeedbackSeries::index(m_performedItem);
    const Pose pose = poseAt(item, t);
    p.save();
    p.translate(square.center() + QPointF(pose.dx * side, 0));
    p.rotate(pose.angle);
    p.scale(pose.scale, pose.scale);
    p.translate(-square.center());
    m_performed->paint(p, square, m_performedItem);
    p.restore();
    if (item == 0)
        FeedbackArt::drawBurst(p, square, m_performed->builtIn(), t);
}

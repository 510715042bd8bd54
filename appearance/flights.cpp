#include "flights.h"

#include "icons.h"
#include "util/convert.h"
#include "util/ui/twips.h"

#include <QDateTime>
#include <QLabel>
#include <QTimer>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const char* const kTag = "tag";

// Not quite pi: the phases and phase steps of the birds are worked out with
// this value.
constexpr double kPi = 3.14159;
constexpr double kTicksPerSecond = 1000.0 / FlightDeck::kTickMilliseconds;

bool isCloud(std::int32_t thema)
{
    return thema == kThemaDayCloud || thema == kThemaNightCloud;
}

QString tagOf(const QLabel* image)
{
    return image->property(kTag).toString();
}

// A position in twips as pixels.
int pixelsX(double twips)
{
    return twipsToPixelsX(static_cast<int>(std::lround(std::clamp(twips, -1e9, 1e9))));
}

int pixelsY(double twips)
{
    return twipsToPixelsY(static_cast<int>(std::lround(std::clamp(twips, -1e9, 1e9))));
}

// A flight's size is taken from the holder its icon was drawn in, a square
// somewhat larger than the icon itself; a cloud is three holders wide.
constexpr double kIconHolderTwips = 540;

// The distance between the tiles of a cloud: one icon's edge.
double tileSpacing()
{
    return pixelsToTwipsX(kFlightIconPixels);
}

// Where a flight is in its course: what one step changes.
struct Course {
    double left;
    double top;
    double phase;
};

// One tick of a flight's motion. A wave has no base line: the icon's top
// swings around the picture's top edge, so a bird dips into the picture and
// climbs out above it again as it crosses.
void step(const FlightRecord& rec, Course& at)
{
    at.left += rec.dbDX;
    if (rec.nMove == 1) {
        at.top = rec.dbAmp * std::sin(at.phase);
        at.phase += rec.dbDY;
    } else {
        at.top += rec.dbDY;
    }
}

// Whether the flight at LEFT, TOP overlaps the picture (0, 0, W, H) with a
// positive area; the flight's edges are taken to whole twips, halves to even.
bool overlapsPicture(const FlightRecord& rec, double left, double top, double W, double H)
{
    const double l = std::nearbyint(left);
    const double t = std::nearbyint(top);
    const double r = std::nearbyint(left + rec.dbWidth);
    const double b = std::nearbyint(top + rec.dbHeight);
    return std::max(l, 0.0) < std::min(r, W) && std::max(t, 0.0) < std::min(b, H);
}

// A cloud queued behind another waits outside its entry edge for a cloud's
// width or more, far longer than the look-ahead follows it at a cloud's pace
// of a few twips a tick. It stays while it is level with the picture and
// drifting toward it.
bool waitsInQueue(const FlightRecord& rec, double W, double H)
{
    const double top = std::nearbyint(rec.dbTop);
    const double bottom = std::nearbyint(rec.dbTop + rec.dbHeight);
    if (!(top < H && bottom > 0))
        return false;
    if (rec.nThema == kThemaDayCloud)
        return rec.dbDX > 0 && std::nearbyint(rec.dbLeft + rec.dbWidth) <= 0;
    if (rec.nThema == kThemaNightCloud)
        return rec.dbDX < 0 && std::nearbyint(rec.dbLeft) >= W;
    return false;
}

FlightIcon iconOf(std::int32_t thema, int tile)
{
    static const FlightIcon dayCloud[]
        = { FlightIcon::DayCloudLeft, FlightIcon::DayCloudMiddle, FlightIcon::DayCloudRight };
    static const FlightIcon nightCloud[]
        = { FlightIcon::NightCloudLeft, FlightIcon::NightCloudMiddle, FlightIcon::NightCloudRight };
    switch (thema) {
    case kThemaDayCloud:
        return dayCloud[tile];
    case kThemaBirdRight:
        return FlightIcon::BirdRight;
    case kThemaBirdLeft:
        return FlightIcon::BirdLeft;
    case kThemaNightCloud:
        return nightCloud[tile];
    case kThemaBrightStar:
        return FlightIcon::StarBurst;
    default:
        return FlightIcon::StarCluster;
    }
}

} // namespace

FlightDeck::FlightDeck(const std::array<QLabel*, kImageCount>& imgFly, QWidget* imgBG, QTimer* tmBG, QTimer* tmFly,
    std::function<bool()> isNight)
    : imgFly_(imgFly)
    , imgBG_(imgBG)
    , tmBG_(tmBG)
    , tmFly_(tmFly)
    , isNight_(std::move(isNight))
{
    Randomize();
}

void FlightDeck::EnableFlights()
{
    Randomize();
    for (QTimer* timer : { tmBG_, tmFly_ }) {
        if (timer && !timer->isActive())
            timer->start();
    }
}

void FlightDeck::Randomize()
{
    const auto now = static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch());
    generator_.seed(static_cast<std::uint32_t>(now ^ (now >> 32)));
}

void FlightDeck::setRandom(Random random)
{
    random_ = std::move(random);
}

double FlightDeck::Rnd()
{
    if (random_)
        return random_();
    // 24 random bits: a single-precision number in [0, 1).
    return static_cast<double>(generator_() >> 8) / 16777216.0;
}

double FlightDeck::pictureWidth() const
{
    return imgBG_ ? pixelsToTwipsX(imgBG_->width()) : 0;
}

double FlightDeck::pictureHeight() const
{
    return imgBG_ ? pixelsToTwipsY(imgBG_->height()) : 0;
}

bool FlightDeck::bIsNight() const
{
    return isNight_ && isNight_();
}

std::int32_t FlightDeck::nFindIdleFlight() const
{
    for (int slot = 0; slot < kSlots; ++slot) {
        if (flights[slot].nState == kFlightIdle)
            return slot;
    }
    return -1;
}

std::int32_t FlightDeck::nCountVacantImages() const
{
    return static_cast<std::int32_t>(std::count_if(
        imgFly_.begin(), imgFly_.end(), [](const QLabel* image) { return image && tagOf(image).isEmpty(); }));
}

std::int32_t FlightDeck::nGetVacantImages(std::int32_t slot, std::int32_t count, std::vector<QLabel*>& imgs)
{
    imgs.clear();
    for (QLabel* image : imgFly_) {
        if (static_cast<std::int32_t>(imgs.size()) >= count)
            break;
        if (!image || !tagOf(image).isEmpty())
            continue;
        image->setProperty(kTag, QString::number(slot));
        imgs.push_back(image);
    }
    return static_cast<std::int32_t>(imgs.size());
}

std::int32_t FlightDeck::nCountFlightThema(std::int32_t nThema) const
{
    return static_cast<std::int32_t>(std::count_if(flights.begin(), flights.end(),
        [nThema](const FlightRecord& rec) { return rec.nState == kFlightFlying && rec.nThema == nThema; }));
}

bool FlightDeck::dbThemaLeft(std::int32_t nThema, double& left) const
{
    left = 0;
    bool found = false;
    for (const FlightRecord& rec : flights) {
        if (rec.nState == kFlightFlying && rec.nThema == nThema && rec.dbLeft <= left) {
            left = rec.dbLeft;
            found = true;
        }
    }
    return found;
}

bool FlightDeck::dbThemaRight(std::int32_t nThema, double& right) const
{
    // The picture always spans the window's whole width.
    right = pictureWidth();
    bool found = false;
    for (const FlightRecord& rec : flights) {
        if (rec.nState == kFlightFlying && rec.nThema == nThema && rec.dbLeft >= right) {
            right = rec.dbLeft + rec.dbWidth;
            found = true;
        }
    }
    return found;
}

void FlightDeck::launchFlight()
{
    // A launch on every second tick.
    if (++nFlightTick < 2)
        return;
    nFlightTick = 0;
    const std::int32_t slot = nFindIdleFlight();
    if (slot < 0)
        return;
    bStartFlight(slot, flights[slot], pictureWidth(), pictureHeight());
}

bool FlightDeck::bStartFlight(std::int32_t slot, FlightRecord& rec, double W, double H)
{
    const bool night = bIsNight();

    // One draw of 1..8: a cloud 1 in 8 (at most three of a kind in the air),
    // the one single icon 3 in 8, the other 4 in 8.
    const double r = std::floor(Rnd() * 8 + 1);
    std::int32_t thema;
    if (!night) {
        thema = r >= 6 ? kThemaBirdRight : kThemaBirdLeft;
        if (r < 2 && nCountFlightThema(kThemaDayCloud) < 3)
            thema = kThemaDayCloud;
    } else {
        thema = r >= 6 ? kThemaBrightStar : kThemaStarCluster;
        if (r < 2 && nCountFlightThema(kThemaNightCloud) < 3)
            thema = kThemaNightCloud;
    }
    const std::int32_t n = isCloud(thema) ? 3 : 1;
    if (nCountVacantImages() < n)
        return false;

    // A new cloud queues behind one still waiting outside its entry edge. The
    // queue is looked up while this slot is still idle: its record holds its
    // last flight, which must not be taken for a waiting cloud.
    double queueEnd = 0;
    bool queued = false;
    if (thema == kThemaDayCloud)
        queued = dbThemaLeft(kThemaDayCloud, queueEnd);
    else if (thema == kThemaNightCloud)
        queued = dbThemaRight(kThemaNightCloud, queueEnd);

    rec.nState = kFlightFlying;
    rec.nThema = thema;
    rec.nImages = n;
    if (nGetVacantImages(slot, n, rec.imgs) < n) {
        bEndFlight(rec);
        return false;
    }

    const qreal ratio = imgBG_ ? imgBG_->devicePixelRatioF() : 1.0;
    for (int tile = 0; tile < n; ++tile) {
        QLabel* image = rec.imgs[tile];
        image->setPixmap(flightIcon(iconOf(thema, tile), ratio));
        image->resize(kFlightIconPixels, kFlightIconPixels);
    }
    rec.dbWidth = n * kIconHolderTwips;
    rec.dbHeight = kIconHolderTwips;

    // Clouds cross the picture's width in 300 to 900 seconds, birds in 20 to
    // 30; a star falls a fiftieth to a hundredth of the width a tick. The
    // draws come in the order written.
    const double T = kTicksPerSecond;
    switch (thema) {
    case kThemaDayCloud:
    case kThemaNightCloud: {
        rec.nMove = 0;
        rec.dbTop = Rnd() * H / 4;
        const double speed = (W / (T * 900) - W / (T * 300)) * Rnd() + W / (T * 300);
        rec.dbDY = Rnd() * 6 - 3;
        if (thema == kThemaDayCloud) {
            rec.dbDX = speed;
            rec.dbLeft = queued ? queueEnd - rec.dbWidth : -rec.dbWidth;
        } else {
            rec.dbDX = -speed;
            // A cloud's width behind the right end of the waiting one.
            rec.dbLeft = queued ? queueEnd + rec.dbWidth : W;
        }
        break;
    }
    case kThemaBirdRight:
    case kThemaBirdLeft: {
        rec.nMove = 1;
        const bool right = thema == kThemaBirdRight;
        rec.dbLeft = right ? -rec.dbWidth : W;
        rec.dbTop = Rnd() * H / 2;
        const double speed = (W / (T * 30) - W / (T * 20)) * Rnd() + W / (T * 20);
        rec.dbDX = right ? speed : -speed;
        const double lowest = right ? H / 2 : H / 4;
        rec.dbAmp = (H - lowest) * Rnd() + lowest;
        rec.dbPhase = Rnd() * kPi / 2;
        const double phaseStep = Rnd() * (kPi / 18 - kPi / 180);
        rec.dbDY = right ? -phaseStep : phaseStep;
        break;
    }
    default:
        rec.nMove = 0;
        rec.dbLeft = Rnd() * W;
        rec.dbTop = -rec.dbHeight;
        rec.dbDX = Rnd() * 1000 - 500;
        rec.dbDY = (W / (T * 20) - W / (T * 10)) * Rnd() + W / (T * 10);
        break;
    }

    placeFlight(rec);
    for (QLabel* image : rec.imgs)
        image->show();
    return true;
}

void FlightDeck::placeFlight(const FlightRecord& rec) const
{
    const double spacing = tileSpacing();
    for (std::size_t tile = 0; tile < rec.imgs.size(); ++tile) {
        if (QLabel* image = rec.imgs[tile])
            image->move(pixelsX(rec.dbLeft + tile * spacing), pixelsY(rec.dbTop));
    }
}

bool FlightDeck::bMoveFlight(const QWidget* picture, FlightRecord& rec)
{
    Course at { rec.dbLeft, rec.dbTop, rec.dbPhase };
    step(rec, at);
    rec.dbLeft = at.left;
    rec.dbTop = at.top;
    rec.dbPhase = at.phase;
    placeFlight(rec);

    // The picture's size is read at every tick: the window may have been resized.
    const double W = picture ? pixelsToTwipsX(picture->width()) : 0;
    const double H = picture ? pixelsToTwipsY(picture->height()) : 0;
    if (overlapsPicture(rec, at.left, at.top, W, H) || waitsInQueue(rec, W, H))
        return true;

    // Outside the picture: alive when it comes back within the look-ahead
    // (a star entering from above, a bird swinging above the top edge).
    for (int tick = 0; tick < kLookAheadTicks; ++tick) {
        step(rec, at);
        if (overlapsPicture(rec, at.left, at.top, W, H))
            return true;
    }
    return bEndFlight(rec);
}

bool FlightDeck::bEndFlight(FlightRecord& rec)
{
    rec.nState = kFlightIdle;
    for (QLabel* image : rec.imgs) {
        if (!image)
            continue;
        image->hide();
        image->setProperty(kTag, QString());
    }
    // Released for good: ending the record again must not touch images that
    // another flight has claimed since.
    rec.imgs.clear();
    return false;
}

bool FlightDeck::tmFly_Timer(bool& bAnimating, const bool& bClosePending)
{
    bAnimating = true;
    for (FlightRecord& rec : flights) {
        if (rec.nState == kFlightFlying)
            bMoveFlight(imgBG_, rec);
    }
    bAnimating = false;
    return bClosePending;
}

void FlightDeck::imgFly_Click(int index)
{
    if (index < 0 || index >= kImageCount || !imgFly_[index])
        return;
    const QString tag = tagOf(imgFly_[index]);
    if (tag.isEmpty())
        return;
    // A tag that is not a number reads as slot 0.
    const double slot = dbToLong(tag.toStdString());
    if (slot < 0 || slot >= kSlots)
        return;
    FlightRecord& rec = flights[static_cast<std::size_t>(slot)];
    bEndFlight(rec);
    rec.nState = kFlightCaught;
}

void FlightDeck::StopFlights()
{
    for (QTimer* timer : { tmBG_, tmFly_ }) {
        if (timer)
            timer->stop();
    }
    for (FlightRecord& rec : flights)
        bEndFlight(rec);
}

#include "appearance/flights.h"
#include "appearance/icons.h"
#include "util/ui/twips.h"

#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>

namespace {

constexpr double kDay = 0.0; // draw for the cloud of the time of day
constexpr double kLeftOrCluster = 0.2; // 2..5: left-flying bird, star cluster
constexpr double kRightOrStar = 0.7; // 6..8: right-flying bird, bright star
constexpr double kPi = 3.14159;

class Flights : public ::testing::Test {
protected:
    Flights()
    {
        window.resize(900, 700);
        imgBG = new QLabel(&window);
        imgBG->setGeometry(0, 0, 792, 552);
        for (int i = 0; i < FlightDeck::kImageCount; ++i) {
            images[i] = new QLabel(&window);
            images[i]->setProperty("tag", QString());
            images[i]->resize(32, 32);
            images[i]->hide();
        }
        tmBG = new QTimer(&window);
        tmFly = new QTimer(&window);
        deck = std::make_unique<FlightDeck>(images, imgBG, tmBG, tmFly, [this] { return night; });
        deck->setRandom([this] {
            if (draws.empty()) {
                ADD_FAILURE() << "more random draws than scripted";
                return 0.5;
            }
            const double value = draws.front();
            draws.pop_front();
            return value;
        });
    }

    double W() const { return pixelsToTwipsX(imgBG->width()); }
    double H() const { return pixelsToTwipsY(imgBG->height()); }
    // A flight is as large as its icon's 540-twip holder; tiles are one icon apart.
    static constexpr double holder = 540;
    static double tile() { return pixelsToTwipsX(kFlightIconPixels); }
    FlightRecord& slot(int index) { return deck->flights[index]; }

    // Starts a flight in the first idle slot with exactly the draws given.
    int start(std::initializer_list<double> values)
    {
        draws.assign(values);
        const int index = deck->nFindIdleFlight();
        EXPECT_GE(index, 0);
        EXPECT_TRUE(deck->bStartFlight(index, slot(index), W(), H()));
        EXPECT_TRUE(draws.empty()) << draws.size() << " scripted draws left over";
        return index;
    }
    int startCloud() { return start({ kDay, 0.5, 0.25, 0.75 }); }
    int startBird() { return start({ kRightOrStar, 0.1, 0.2, 0.3, 0.4, 0.6 }); }

    void tick()
    {
        bool animating = false;
        deck->tmFly_Timer(animating, false);
    }

    QWidget window;
    QLabel* imgBG;
    std::array<QLabel*, FlightDeck::kImageCount> images {};
    QTimer* tmBG;
    QTimer* tmFly;
    bool night = false;
    std::deque<double> draws;
    std::unique_ptr<FlightDeck> deck;
};

TEST_F(Flights, TheFirstDrawChoosesTheThemeForTheTimeOfDay)
{
    const std::tuple<bool, double, int> cases[] = { { false, 0.124, kThemaDayCloud }, { false, 0.125, kThemaBirdLeft },
        { false, 0.624, kThemaBirdLeft }, { false, 0.625, kThemaBirdRight }, { false, 0.999, kThemaBirdRight },
        { true, 0.0, kThemaNightCloud }, { true, 0.2, kThemaStarCluster }, { true, 0.7, kThemaBrightStar } };
    for (const auto& [dark, draw, thema] : cases) {
        night = dark;
        draws.assign({ draw, 0.5, 0.5, 0.5, 0.5, 0.5 });
        ASSERT_TRUE(deck->bStartFlight(0, slot(0), W(), H()));
        EXPECT_EQ(slot(0).nThema, thema) << draw << (dark ? " at night" : " by day");
        deck->StopFlights();
    }
}

TEST_F(Flights, CloudsEnterAtTheirEdgeAsThreeTilesAndDriftSlowly)
{
    const int index = startCloud();
    const FlightRecord& day = slot(index);
    EXPECT_DOUBLE_EQ(day.dbLeft, -3 * holder);
    EXPECT_DOUBLE_EQ(day.dbTop, 0.5 * H() / 4);
    const double speed = (W() / 4500 - W() / 1500) * 0.25 + W() / 1500;
    EXPECT_DOUBLE_EQ(day.dbDX, speed);
    EXPECT_DOUBLE_EQ(day.dbDY, 1.5);
    // The first three vacant images, side by side one icon apart.
    ASSERT_EQ(day.imgs.size(), 3U);
    for (int tile = 0; tile < 3; ++tile) {
        EXPECT_EQ(day.imgs[tile], images[tile]);
        EXPECT_EQ(images[tile]->property("tag").toString(), QString::number(index));
        EXPECT_EQ(images[tile]->pos(),
            QPoint(twipsToPixelsX(std::lround(day.dbLeft + tile * Flights::tile())),
                twipsToPixelsY(std::lround(day.dbTop))));
    }

    night = true;
    const FlightRecord& dark = slot(startCloud());
    EXPECT_DOUBLE_EQ(dark.dbLeft, W());
    EXPECT_DOUBLE_EQ(dark.dbDX, -speed);
}

TEST_F(Flights, SingleIconsEnterAtTheirEdge)
{
    // Top, speed, amplitude, phase, phase step: the draws in their order.
    const FlightRecord& right = slot(startBird());
    EXPECT_DOUBLE_EQ(right.dbLeft, -holder);
    EXPECT_DOUBLE_EQ(right.dbTop, 0.1 * H() / 2);
    EXPECT_DOUBLE_EQ(right.dbDX, (W() / 150 - W() / 100) * 0.2 + W() / 100);
    EXPECT_DOUBLE_EQ(right.dbAmp, (H() - H() / 2) * 0.3 + H() / 2);
    EXPECT_DOUBLE_EQ(right.dbPhase, 0.4 * kPi / 2);
    EXPECT_DOUBLE_EQ(right.dbDY, -0.6 * (kPi / 18 - kPi / 180));

    const FlightRecord& left = slot(start({ kLeftOrCluster, 0.1, 0.2, 0.3, 0.4, 0.6 }));
    EXPECT_DOUBLE_EQ(left.dbLeft, W());
    EXPECT_DOUBLE_EQ(left.dbDX, -right.dbDX);
    EXPECT_DOUBLE_EQ(left.dbAmp, (H() - H() / 4) * 0.3 + H() / 4);
    EXPECT_DOUBLE_EQ(left.dbDY, -right.dbDY);

    // Stars fall from a random column above the top: column, drift, fall.
    night = true;
    const FlightRecord& star = slot(start({ kRightOrStar, 0.25, 0.75, 0.5 }));
    EXPECT_DOUBLE_EQ(star.dbLeft, 0.25 * W());
    EXPECT_DOUBLE_EQ(star.dbTop, -holder);
    EXPECT_DOUBLE_EQ(star.dbDX, 250);
    EXPECT_DOUBLE_EQ(star.dbDY, (W() / 100 - W() / 50) * 0.5 + W() / 50);
}

TEST_F(Flights, ANewCloudQueuesBehindOneStillWaitingOutside)
{
    const double cloud = 3 * holder;
    FlightRecord& first = slot(startCloud());
    first.dbLeft = -600;
    EXPECT_DOUBLE_EQ(slot(startCloud()).dbLeft, -600 - cloud);
    // Behind the last of the queue.
    EXPECT_DOUBLE_EQ(slot(startCloud()).dbLeft, -600 - 2 * cloud);
    deck->StopFlights();

    // A cloud already inside the picture holds nobody back.
    slot(startCloud()).dbLeft = 100;
    EXPECT_DOUBLE_EQ(slot(startCloud()).dbLeft, -cloud);
    deck->StopFlights();

    // At night the new cloud keeps a cloud's width from the waiting one's right end.
    night = true;
    slot(startCloud()).dbLeft = W() + 100;
    EXPECT_DOUBLE_EQ(slot(startCloud()).dbLeft, W() + 100 + 2 * cloud);
    deck->StopFlights();
    slot(startCloud()).dbLeft = W() - 100;
    EXPECT_DOUBLE_EQ(slot(startCloud()).dbLeft, W());
}

TEST_F(Flights, ANewCloudDoesNotQueueBehindItsSlotsLastFlight)
{
    // The slot's last flight ended far outside; its record still says where.
    FlightRecord& rec = slot(startCloud());
    rec.dbLeft = -5000;
    deck->bEndFlight(rec);
    EXPECT_DOUBLE_EQ(slot(startCloud()).dbLeft, -3 * holder);

    deck->StopFlights();
    night = true;
    FlightRecord& dark = slot(startCloud());
    dark.dbLeft = W() + 5000;
    deck->bEndFlight(dark);
    EXPECT_DOUBLE_EQ(slot(startCloud()).dbLeft, W());
}

TEST_F(Flights, AtMostThreeCloudsOfAKindFly)
{
    for (bool dark : { false, true }) {
        night = dark;
        for (int i = 0; i < 3; ++i)
            startCloud();
        const FlightRecord& fourth
            = slot(dark ? start({ kDay, 0.1, 0.2, 0.3 }) : start({ kDay, 0.1, 0.2, 0.3, 0.4, 0.6 }));
        EXPECT_EQ(fourth.nThema, dark ? kThemaStarCluster : kThemaBirdLeft);
        deck->StopFlights();
    }
}

TEST_F(Flights, TooFewVacantImagesStartNothing)
{
    for (int i = 0; i < 18; ++i)
        images[i]->setProperty("tag", QStringLiteral("x"));
    draws.assign({ kDay });
    EXPECT_FALSE(deck->bStartFlight(0, slot(0), W(), H()));
    EXPECT_EQ(slot(0).nState, kFlightIdle);
    EXPECT_EQ(deck->nCountVacantImages(), 2);

    // A single icon still finds its one image.
    EXPECT_EQ(slot(startBird()).imgs[0], images[18]);
}

TEST_F(Flights, ALaunchComesOnEverySecondTickIntoTheFirstIdleSlot)
{
    deck->launchFlight();
    EXPECT_EQ(deck->nFindIdleFlight(), 0);
    EXPECT_EQ(deck->nFlightTick, 1);

    slot(0).nState = kFlightCaught;
    draws.assign({ kRightOrStar, 0.1, 0.2, 0.3, 0.4, 0.6 });
    deck->launchFlight();
    EXPECT_EQ(deck->nFlightTick, 0);
    EXPECT_EQ(slot(1).nState, kFlightFlying);
    EXPECT_TRUE(draws.empty());

    // With no idle slot nothing is drawn.
    for (FlightRecord& rec : deck->flights)
        rec.nState = rec.nState == kFlightIdle ? kFlightFlying : rec.nState;
    deck->launchFlight();
    deck->launchFlight();
    EXPECT_EQ(deck->nFlightTick, 0);
}

TEST_F(Flights, ATickMovesEveryFlyingFlightOneStep)
{
    FlightRecord& cloud = slot(startCloud());
    FlightRecord& bird = slot(startBird());
    const FlightRecord before = cloud;
    const double phase = bird.dbPhase;
    tick();
    EXPECT_DOUBLE_EQ(cloud.dbLeft, before.dbLeft + before.dbDX);
    EXPECT_DOUBLE_EQ(cloud.dbTop, before.dbTop + before.dbDY);
    EXPECT_EQ(images[2]->pos(),
        QPoint(twipsToPixelsX(std::lround(cloud.dbLeft + 2 * tile())), twipsToPixelsY(std::lround(cloud.dbTop))));
    // The sine takes the phase before the step.
    EXPECT_DOUBLE_EQ(bird.dbTop, bird.dbAmp * std::sin(phase));
    EXPECT_DOUBLE_EQ(bird.dbPhase, phase + bird.dbDY);
}

TEST_F(Flights, AFlightOutsideLivesWhileItComesBackWithin31Ticks)
{
    night = true;
    FlightRecord& star = slot(start({ kRightOrStar, 0.25, 0.75, 0.5 }));
    star.dbDX = 0;
    star.dbDY = 10;
    // Straight after its start it only touches the top edge.
    star.dbTop = -holder - 10;
    EXPECT_TRUE(deck->bMoveFlight(imgBG, star));
    // After this tick it still needs 31 ticks to come in, then 32.
    star.dbTop = -holder - 10 - 305;
    EXPECT_TRUE(deck->bMoveFlight(imgBG, star));
    star.dbTop = -holder - 10 - 315;
    QLabel* image = star.imgs[0];
    EXPECT_FALSE(deck->bMoveFlight(imgBG, star));
    EXPECT_EQ(star.nState, kFlightIdle);
    EXPECT_TRUE(image->isHidden());
    EXPECT_TRUE(image->property("tag").toString().isEmpty());

    // A star that has left never comes back, even one resting on the bottom
    // edge: touching is not overlapping.
    FlightRecord& fallen = slot(start({ kRightOrStar, 0.25, 0.75, 0.5 }));
    fallen.dbTop = H();
    fallen.dbDY = 0;
    EXPECT_FALSE(deck->bMoveFlight(imgBG, fallen));

    // A bird swung above the top edge lives while its wave brings it back soon.
    night = false;
    FlightRecord& bird = slot(startBird());
    bird.dbLeft = W() / 2;
    bird.dbDX = 0;
    bird.dbAmp = 1000;
    bird.dbPhase = -kPi / 2;
    bird.dbDY = 0.1; // back in about ten ticks
    EXPECT_TRUE(deck->bMoveFlight(imgBG, bird));
    bird.dbPhase = -kPi / 2;
    bird.dbDY = 0.01; // back in about a hundred
    EXPECT_FALSE(deck->bMoveFlight(imgBG, bird));
}

TEST_F(Flights, AQueuedCloudWaitsForItsTurn)
{
    // Too far out for the look-ahead at this pace, but level with the picture
    // and drifting toward it.
    FlightRecord& day = slot(startCloud());
    day.dbLeft = -3 * day.dbWidth;
    day.dbDX = 3;
    day.dbDY = 0;
    EXPECT_TRUE(deck->bMoveFlight(imgBG, day));
    night = true;
    FlightRecord& dark = slot(startCloud());
    dark.dbLeft = W() + 2 * dark.dbWidth;
    dark.dbDX = -3;
    EXPECT_TRUE(deck->bMoveFlight(imgBG, dark));

    // Once it has drifted above the picture it is gone.
    day.dbTop = -2 * H();
    EXPECT_FALSE(deck->bMoveFlight(imgBG, day));
    // A cloud that has passed the far edge is not waiting.
    dark.dbLeft = -2 * dark.dbWidth;
    EXPECT_FALSE(deck->bMoveFlight(imgBG, dark));
}

TEST_F(Flights, CatchingATileEndsTheWholeCloudAndKeepsTheSlotUntilStopFlights)
{
    const int cloud = startCloud();
    const int bird = startBird();
    tmBG->start(10000);
    tmFly->start(200);
    deck->nFlightTick = 1;

    deck->imgFly_Click(1);
    EXPECT_EQ(slot(cloud).nState, kFlightCaught);
    for (int tile = 0; tile < 3; ++tile) {
        EXPECT_TRUE(images[tile]->isHidden());
        EXPECT_TRUE(images[tile]->property("tag").toString().isEmpty());
    }
    EXPECT_EQ(slot(bird).nState, kFlightFlying);
    EXPECT_EQ(deck->nCountFlightThema(kThemaDayCloud), 0);

    // A caught slot is neither moved nor launched into.
    const double left = slot(cloud).dbLeft;
    tick();
    EXPECT_DOUBLE_EQ(slot(cloud).dbLeft, left);
    draws.assign({ kRightOrStar, 0.1, 0.2, 0.3, 0.4, 0.6 });
    deck->launchFlight();
    EXPECT_EQ(slot(cloud).nState, kFlightCaught);
    EXPECT_EQ(slot(2).nState, kFlightFlying);

    deck->StopFlights();
    EXPECT_FALSE(tmBG->isActive());
    EXPECT_FALSE(tmFly->isActive());
    for (const FlightRecord& rec : deck->flights)
        EXPECT_EQ(rec.nState, kFlightIdle);
    EXPECT_EQ(deck->nCountVacantImages(), FlightDeck::kImageCount);
    EXPECT_TRUE(images[3]->isHidden());
}

TEST_F(Flights, ClicksAndEndsTouchOnlyTheFlightThatOwnsTheImages)
{
    FlightRecord& first = slot(startCloud());
    deck->imgFly_Click(5); // vacant
    images[6]->setProperty("tag", QStringLiteral("7"));
    deck->imgFly_Click(6);
    deck->imgFly_Click(FlightDeck::kImageCount);
    EXPECT_EQ(first.nState, kFlightFlying);
    EXPECT_EQ(deck->nFindIdleFlight(), 1);

    // Ended, and ended again once another flight has taken its images.
    deck->bEndFlight(first);
    first.nState = kFlightCaught;
    const int second = startCloud();
    deck->bEndFlight(first);
    EXPECT_EQ(images[0]->property("tag").toString(), QString::number(second));
    EXPECT_FALSE(images[0]->isHidden());
}

// Runs a function on every move of the widget it watches.
struct MoveWatcher : QObject {
    std::function<void()> moved;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Move)
            moved();
        return false;
    }
};

TEST_F(Flights, ATickSetsAnimatingWhileItMovesAndThenAnswersAPendingClose)
{
    window.show();
    bool animating = false;
    bool closePending = false;
    EXPECT_FALSE(deck->tmFly_Timer(animating, closePending));

    startBird(); // a bird moves by whole pixels at every tick
    bool sawAnimating = false;
    MoveWatcher watcher;
    watcher.moved = [&] {
        sawAnimating = animating;
        closePending = true; // the user asks to close meanwhile
    };
    images[0]->installEventFilter(&watcher);
    EXPECT_TRUE(deck->tmFly_Timer(animating, closePending));
    EXPECT_TRUE(sawAnimating);
    EXPECT_FALSE(animating);
}

TEST(FlightIcons, AreTransparentSquaresAndCloudTilesJoin)
{
    for (int i = 0; i <= static_cast<int>(FlightIcon::StarCluster); ++i) {
        const QImage icon = flightIconImage(static_cast<FlightIcon>(i));
        ASSERT_EQ(icon.size(), QSize(32, 32)) << i;
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)) + qAlpha(icon.pixel(31, 0)), 0) << i;
    }
    const QImage left = flightIconImage(FlightIcon::NightCloudLeft);
    const QImage middle = flightIconImage(FlightIcon::NightCloudMiddle);
    int joined = 0;
    for (int y = 0; y < 32; ++y)
        joined += qAlpha(left.pixel(31, y)) > 200 && qAlpha(middle.pixel(0, y)) > 200;
    EXPECT_GE(joined, 10);
}

} // namespace

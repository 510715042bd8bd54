// The flying icons of the automatic background. By day a white cloud drifts
// slowly to the right and birds swoop across in waves; by night a grey cloud
// drifts to the left and stars fall from the top. At most five flights are in
// the air at once, drawn with the main window's twenty flight images; clicking
// one catches its flight. Decoration only: nothing else depends on it.
//
// Positions, sizes and speeds are in the main window's units, twips (15 to the
// pixel at 96 dpi), measured from the top left corner of the background
// picture, which stands at the client area's top left corner.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

class QLabel;
class QTimer;
class QWidget;

// The themes of a flight.
enum FlightThema : std::int32_t {
    kThemaDayCloud = 0, // three images, enters at the left edge, drifts right slowly
    kThemaBirdRight = 1, // a wave from the left edge to the right
    kThemaBirdLeft = 2, // a wave from the right edge to the left
    kThemaNightCloud = 3, // three images, enters at the right edge, drifts left slowly
    kThemaBrightStar = 4, // falls from the top with a sideways drift
    kThemaStarCluster = 5, // likewise
};

// The state of a flight slot.
enum FlightState : std::int32_t {
    kFlightIdle = 0, // free for a new flight
    kFlightFlying = 1,
    kFlightCaught = -1, // ended by a click; not reused until StopFlights
};

// One flight. A fresh record is idle. Starting a flight overwrites the fields
// it uses; ending one sets nState and releases the images, the rest keep their
// last values.
struct FlightRecord {
    std::int32_t nState = kFlightIdle;
    std::int32_t nThema = 0;
    std::int32_t nImages = 0; // 3 for the clouds, 1 otherwise
    std::vector<QLabel*> imgs; // the images claimed for the flight, 0 the leftmost
    std::int32_t nMove = 0; // 0 straight line, 1 wave
    double dbWidth = 0; // of the whole flight (a cloud is three icons wide)
    double dbHeight = 0;
    double dbLeft = 0; // of image 0
    double dbTop = 0;
    double dbDX = 0; // horizontal step per tick
    double dbDY = 0; // straight line: vertical step per tick; wave: phase step per tick (radians)
    double dbPhase = 0; // wave: the phase, in radians
    double dbAmp = 0; // wave: the amplitude
};

class FlightDeck {
public:
    static constexpr int kSlots = 5;
    static constexpr int kImageCount = 20;
    // The flight timer's interval; the speeds are worked out for it.
    static constexpr int kTickMilliseconds = 200;
    // How many ticks ahead a flight outside the picture is followed to see
    // whether it comes back.
    static constexpr int kLookAheadTicks = 31;

    // The random source: a fresh uniform number in [0, 1) at every call.
    using Random = std::function<double()>;

    // IMGFLY are the window's flight images: an empty "tag" property marks an
    // image as vacant, otherwise it holds the number of the slot that owns it.
    // IMGBG is the background picture the flights cross. TMBG and TMFLY are the
    // timers that StopFlights disables and EnableFlights enables (either may be
    // null). ISNIGHT tells whether the automatic background is in a night slot.
    FlightDeck(const std::array<QLabel*, kImageCount>& imgFly, QWidget* imgBG, QTimer* tmBG, QTimer* tmFly,
        std::function<bool()> isNight);

    // The five flight slots.
    std::array<FlightRecord, kSlots> flights {};
    // Counts tmBG ticks between launches; StopFlights leaves it alone.
    std::int32_t nFlightTick = 0;

    // The automatic background has just been applied: seeds the random source
    // from the current time and enables tmBG and tmFly. A timer that already
    // runs keeps its rhythm; flights in the air continue.
    void EnableFlights();
    // Seeds the built-in random source from the current date and time.
    void Randomize();
    // Test seam: draws from RANDOM instead of the built-in source; an empty
    // function restores the built-in one.
    void setRandom(Random random);

    // The launch step of a tmBG tick: on every second tick a flight is started
    // in the first idle slot, sized to the background picture as it is now.
    void launchFlight();

    // A tmFly tick: moves every flying flight one step, with BANIMATING set
    // while it does. True when BCLOSEPENDING is set once the step is drawn: the
    // window was asked to close meanwhile and is now to close itself.
    bool tmFly_Timer(bool& bAnimating, const bool& bClosePending);

    // A click on flight image INDEX: ends the flight that owns it (all three
    // images of a cloud) and marks its slot caught. A vacant image, or one
    // whose tag names no slot, is left alone.
    void imgFly_Click(int index);

    // Disables tmBG and tmFly and ends every flight, caught ones included, so
    // that every slot is idle.
    void StopFlights();

    // Bookkeeping over the slots and the images.
    bool bIsNight() const;
    std::int32_t nFindIdleFlight() const;
    std::int32_t nCountVacantImages() const;
    // Claims up to COUNT vacant images for SLOT in index order, tagging each
    // with the slot's number; IMGS gets them. Returns how many were claimed.
    std::int32_t nGetVacantImages(std::int32_t slot, std::int32_t count, std::vector<QLabel*>& imgs);
    // The number of flying flights of a theme.
    std::int32_t nCountFlightThema(std::int32_t nThema) const;
    // LEFT becomes the left edge of the leftmost flying flight of the theme at
    // or beyond the picture's left edge (0 when there is none); true when
    // there is one.
    bool dbThemaLeft(std::int32_t nThema, double& left) const;
    // RIGHT becomes the right end of the flying flight of the theme that waits
    // beyond the picture's right edge, scanning the slots in order (the
    // picture's width when there is none); true when there is one.
    bool dbThemaRight(std::int32_t nThema, double& right) const;

    // Starts a new flight in the idle SLOT, whose record is REC, for a
    // background picture W wide and H high. False when nothing was started
    // (too few vacant images for the theme drawn).
    bool bStartFlight(std::int32_t slot, FlightRecord& rec, double W, double H);
    // Moves a flight one tick over PICTURE. True while it stays alive; false
    // when it has left the picture for good and has been ended.
    bool bMoveFlight(const QWidget* picture, FlightRecord& rec);
    // Ends a flight: idle, its images hidden and vacant. Always false.
    bool bEndFlight(FlightRecord& rec);

private:
    double Rnd();
    void placeFlight(const FlightRecord& rec) const;
    double pictureWidth() const;
    double pictureHeight() const;

    std::array<QLabel*, kImageCount> imgFly_;
    QWidget* imgBG_;
    QTimer* tmBG_;
    QTimer* tmFly_;
    std::function<bool()> isNight_;
    Random random_;
    std::mt19937 generator_;
};

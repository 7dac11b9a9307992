#pragma once
// The camera interface and the synthetic camera, the only camera the system has.

#include "camera/frame.h"

// Something that can be started and stopped and fills a Frame on request.
class Videocam {
public:
    virtual bool start() = 0;            // true when running afterwards
    virtual bool stop() = 0;             // true when stopped afterwards
    virtual bool grab(Frame& frame) = 0; // true when `frame` holds a new image

protected:
    ~Videocam() = default;
};

// Low grey noise (0 to 50) with three bright 11 x 11 squares (180 to 220): one
// fixed at (450, 340) and two that move with the phase. Every value comes from
// the program's shared generator (platform::rand) in a fixed order: 172800
// noise draws in index order, then 121 draws per square, square by square, row
// by row, so a frame is reproducible from the generator state and the phase.
class Videocam_dummy final : public Videocam {
public:
    // `phase` is read at every grab: the application's time_phase.
    explicit Videocam_dummy(const float* phase);

    bool start() override;
    bool stop() override;
    bool grab(Frame& frame) override;

    bool started = false;

private:
    const float* phase_;
};

// Centres of the two moving squares for a phase: square 1 at column 10,
// square 3 at row 250.
int square1_row(float phase);
int square3_column(float phase);
inline constexpr int kSquare2Column = 450;
inline constexpr int kSquare2Row = 340;
inline constexpr int kSquareHalf = 5;

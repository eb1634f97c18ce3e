#pragma once
// What a host of the GL subset may do beyond GL 1.1: keep the state the
// show's frames carry from one to the next and put it back (a seek returns
// to an earlier moment), and run frames for their state alone.
#include <memory>

struct Gl11State;
struct Gl11StateFree {
    void operator()(Gl11State* state) const;
};
using Gl11Snapshot = std::unique_ptr<Gl11State, Gl11StateFree>;

// The subset's own state and the driver state the show sets through it
// (blending, depth, colour mask, clear values); not the viewport and
// scissor, which are the host's.
Gl11Snapshot gl11Save();
void gl11Restore(const Gl11State& state);

// Off: primitives and clears draw nothing, every other call keeps its
// effect. For frames that are never seen (a run-up), whose pictures would
// be thrown away: they then cost their state calls only.
void gl11SetDrawing(bool on);

#pragma once
#include <cstddef>

struct DemoState;

// Greeting tiles beyond the scene routines in scenes.h: the picture schedule
// and the allocation seam that lets tests make the start-up fill fail.

constexpr int kGreetingPictures = 12;
constexpr int kTilesPerSide = 10;

// Local frame after which picture k (0 to 11) shows, and after which its
// tiles drift apart.
int tileStartFrame(int k);
int tileDriftFrame(int k);

using TileAllocator = void* (*)(std::size_t size);

// Fills state.tileLists[0..11] and state.tileOffsets from state.random.
// Throws std::bad_alloc when a tile (from allocateTile) or a node cannot be
// allocated; the lists then hold the tiles made so far and stay consistent.
void fillTileLists(DemoState& state, TileAllocator allocateTile);

// initTileLists with its tile allocator: on an allocation failure it writes
// one line on stderr and ends the process with status 1, before the show.
void initTileLists(DemoState& state, TileAllocator allocateTile);

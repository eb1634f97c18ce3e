# The show's core: timeline, scenes and assets (relative to demo/). One list
# for the desktop build and the browser's.
set(VEMU_CORE_SOURCES
  timeline/demo_state.cpp
  timeline/timeline.cpp
  scenes/overlay.cpp
  scenes/item_list.cpp
  scenes/flip_triggers.cpp
  scenes/sliding_sprites.cpp
  scenes/light_trails.cpp
  scenes/craft.cpp
  scenes/greeting_tiles.cpp
  scenes/closing_pictures.cpp
  scenes/spinning_record.cpp
  scenes/hall_portraits.cpp
  scenes/phone.cpp
  scenes/ties.cpp
  scenes/hard_flash.cpp
  scenes/grid_and_tower.cpp
  assets/picture_file.cpp
  assets/texture_loader.cpp
  assets/startup.cpp
  runtime/frame_clock.cpp
  runtime/main_loop.cpp
  runtime/command_line.cpp
  runtime/viewport.cpp
)

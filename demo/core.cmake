# The show's core: timeline, scenes, assets and the loop, with no platform
# code in its sources. It reaches the platform through three seams, and each
# front end builds its own copy of the core with vemu_add_core, naming the
# library that fills each one:
#   GL        <GL/gl.h> and <GL/glu.h> with their code: the system's OpenGL
#             and GLU, or the browser's GL 1.1 subset (web/gl11)
#   SOUND     the FSOUND calls of demo/runtime/sound.h
#   PICTURES  decodePictureFile of demo/assets/picture_file.h
# The clock is not built in: each host hands its own to the loop (LoopHost).
# Included by the project's build and by the browser's (web/browser), which
# cannot share one CMake project.
set(VEMU_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
cmake_path(NORMAL_PATH VEMU_ROOT)
# A global property: the function is called from other folders' scopes.
set_property(GLOBAL PROPERTY VEMU_ROOT ${VEMU_ROOT})

function(vemu_add_core name)
  cmake_parse_arguments(PARSE_ARGV 1 SEAM "" "GL;SOUND;PICTURES" "")
  get_property(root GLOBAL PROPERTY VEMU_ROOT)
  foreach(seam GL SOUND PICTURES)
    if(NOT SEAM_${seam})
      message(FATAL_ERROR "vemu_add_core(${name}): name the library for the ${seam} seam")
    endif()
  endforeach()
  set(sources
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
    assets/texture_loader.cpp
    assets/startup.cpp
    runtime/frame_clock.cpp
    runtime/main_loop.cpp
    runtime/command_line.cpp
    runtime/viewport.cpp
  )
  list(TRANSFORM sources PREPEND ${root}/demo/)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${root})
  find_package(Threads REQUIRED) # the start-up decodes pictures on worker threads
  target_link_libraries(${name} PUBLIC ${SEAM_GL} ${SEAM_SOUND} ${SEAM_PICTURES} Threads::Threads)
endfunction()

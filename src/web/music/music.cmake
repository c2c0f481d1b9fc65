# The page's music in the site. From src/web/CMakeLists.txt:
#
#   include(music/music.cmake)
#   web_music_files(<site folder>)      # e.g. ${CMAKE_BINARY_DIR}/site
#
# copies music.js (the page loads it before the wasm program's script), the
# worklet music.worklet.js and the engine it imports, libopenmpt.worklet.js
# with its licences, next to index.html. The engine comes from the npm
# package chiptune3: `npm ci` in src/web/music first (scripts/setup-web.sh does).
# The program's own sound layer is ../sound.cpp; the module demomain.xm is
# the page's to copy.
function(web_music_files site)
    set(here ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    set(engine ${here}/node_modules/chiptune3/libopenmpt.worklet.js)
    if(NOT EXISTS ${engine})
        message(FATAL_ERROR "The music engine is missing: run `npm ci` in ${here}")
    endif()
    set(outputs)
    foreach(file ${here}/music.js ${here}/music.worklet.js ${engine} ${here}/libopenmpt.worklet.LICENSE.txt)
        get_filename_component(name ${file} NAME)
        add_custom_command(OUTPUT ${site}/${name}
                           COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} ${site}/${name}
                           DEPENDS ${file}
                           COMMENT "Site: ${name}")
        list(APPEND outputs ${site}/${name})
    endforeach()
    add_custom_target(web_music ALL DEPENDS ${outputs})
endfunction()

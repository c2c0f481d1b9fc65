# embed_pictures.cmake -- the four pictures as the headers LITELOGO.h,
# SIDELIT.h, SPIDER.h and ZORSMALL.h, for every build: the desktop's with the
# converter it builds (tools/pictures/CMakeLists.txt), the web and Windows
# builds with one built for the host (scripts/lib.sh).
#
#   embed_pictures(TARGET CONVERTER)
#
# CONVERTER is the converter's path, or the name of its target.
# writes them into ${CMAKE_CURRENT_BINARY_DIR}/pictures, which it returns in
# PICTURES_DIR, and adds the custom target TARGET that makes them. They are
# made again when a picture or the converter changes.
function(embed_pictures target converter)
    set(assets ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../../assets)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/pictures)
    file(MAKE_DIRECTORY ${dir})
    set(headers)
    set(pictures litelogo 640 301 sidelit 402 480 spider 640 480 zorsmall 640 241)
    while(pictures)
        list(POP_FRONT pictures name width height)
        string(TOUPPER ${name} upper)
        add_custom_command(
            OUTPUT ${dir}/${upper}.h ${dir}/${name}.rgba
            COMMAND ${converter} ${assets}/${name}.png ${name} ${width} ${height}
                    ${dir}/${upper}.h ${dir}/${name}.rgba
            DEPENDS ${assets}/${name}.png ${converter}
            COMMENT "Embedding picture ${name}.png"
            VERBATIM)
        list(APPEND headers ${dir}/${upper}.h)
    endwhile()
    add_custom_target(${target} DEPENDS ${headers})
    set(PICTURES_DIR ${dir} PARENT_SCOPE)
endfunction()

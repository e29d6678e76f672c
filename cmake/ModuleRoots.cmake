# Module boundaries of the applet. Each module is a folder below src/applet whose headers are
# included as "<folder>/Header.h". A module's target sees only the folders it may use: its
# include root is a folder of links to exactly those, so that an include of a module above it
# does not compile. The order, lowest first, is in docs/design.md.
set(PELLVANE_APPLET_SOURCE_DIR ${CMAKE_SOURCE_DIR}/src/applet)

# Sets <target>'s include root to links to the named folders of src/applet.
function(pellvane_module_root target scope)
    set(root ${CMAKE_BINARY_DIR}/module-roots/${target})
    file(MAKE_DIRECTORY ${root})
    foreach(folder IN LISTS ARGN)
        if(NOT EXISTS ${root}/${folder})
            file(CREATE_LINK ${PELLVANE_APPLET_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${target} ${scope} ${root})
endfunction()

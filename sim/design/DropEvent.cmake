# Writes the design description IN to OUT without the event named EVENT: a design variant for
# tests of what the applet does when the design lacks one of its events.
file(STRINGS ${IN} lines)
set(text "")
foreach(line IN LISTS lines)
    if(NOT line MATCHES "^event[ \t]+${EVENT}[ \t]")
        string(APPEND text "${line}\n")
    endif()
endforeach()
file(WRITE ${OUT} "${text}")

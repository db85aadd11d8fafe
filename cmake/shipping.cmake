# The shipping build: every player downloads the patcher, and every patch carries the
# converter. Code is optimised for size with each function and datum in its own section, the
# linker drops the sections nothing calls, and the shipped files are stripped; their debug
# information stays beside them in <name>.debug files, linked by a debug link.
option(VARDANE_SHIPPING "Build the shipped programs for size and strip them" OFF)

if(VARDANE_SHIPPING)
    add_compile_options(-Os -ffunction-sections -fdata-sections)
    add_link_options(-Wl,--gc-sections)
endif()

# ship_stripped(TARGET): after linking, the debug information goes to TARGET's .debug file
# and the program itself is stripped of all symbols.
function(ship_stripped target)
    if(NOT VARDANE_SHIPPING)
        return()
    endif()
    foreach(tool CMAKE_OBJCOPY CMAKE_STRIP)
        if(NOT ${tool})
            message(FATAL_ERROR "${tool} not found: the shipped programs cannot be stripped")
        endif()
    endforeach()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
        COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
        COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        VERBATIM)
endfunction()

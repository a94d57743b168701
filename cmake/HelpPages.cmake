# The operator's help pages copied into the build's bin/help, beside the window program that opens them.
function(brenwick_help_pages program)
    file(GLOB pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/help/*)
    set(outputs "")
    foreach(page ${pages})
        get_filename_component(name ${page} NAME)
        add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/bin/help/${name}
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${page} ${PROJECT_BINARY_DIR}/bin/help/${name}
            DEPENDS ${page})
        list(APPEND outputs ${PROJECT_BINARY_DIR}/bin/help/${name})
    endforeach()
    add_custom_target(brenwick_help ALL DEPENDS ${outputs})
    add_dependencies(${program} brenwick_help)
endfunction()

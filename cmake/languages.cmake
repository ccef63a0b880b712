# The built-in English language file and the language folder of the
# distribution.
#
# omb_add_default_language(target): embeds resources/default.lng as the
# resource "DEFAULTLNG" (RCDATA) of the target; every program calls it.
# omb_add_rcdata(target NAME file): embeds any file as an RCDATA resource.

set(OMB_DEFAULT_LANGUAGE_FILE ${PROJECT_SOURCE_DIR}/resources/default.lng)
set(OMB_LANGUAGE_FILES ${PROJECT_SOURCE_DIR}/resources/languages/de.lng)

function(omb_add_rcdata target name file)
    set(rc ${CMAKE_BINARY_DIR}/resources/rcdata_${name}.rc)
    file(CONFIGURE OUTPUT ${rc} CONTENT "${name} RCDATA \"${file}\"\n")
    target_sources(${target} PRIVATE ${rc})
    set_property(SOURCE ${rc} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS ${file})
endfunction()

function(omb_add_default_language target)
    omb_add_rcdata(${target} DEFAULTLNG ${OMB_DEFAULT_LANGUAGE_FILE})
endfunction()

# dist/Languages: English (the built-in file, so that it can be chosen back in
# the options) and the translations.
set(_omb_language_outputs)
foreach(src ${OMB_DEFAULT_LANGUAGE_FILE} ${OMB_LANGUAGE_FILES})
    get_filename_component(_name ${src} NAME)
    if(src STREQUAL OMB_DEFAULT_LANGUAGE_FILE)
        set(_name en.lng)
    endif()
    set(_out ${OMB_DIST_DIR}/Languages/${_name})
    add_custom_command(OUTPUT ${_out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${OMB_DIST_DIR}/Languages
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${src} ${_out}
        DEPENDS ${src}
        COMMENT "Language file ${_name}")
    list(APPEND _omb_language_outputs ${_out})
endforeach()
add_custom_target(omb_languages ALL DEPENDS ${_omb_language_outputs})

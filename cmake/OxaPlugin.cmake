# One helper for every plug-in deliverable.
#
# oxa_add_plugin(NAME <deliverable> SOURCES <files...> [LIBS <libs...>])
#
# Builds the plug-in's logic as the static PIC library <deliverable>-logic (linked by the
# plug-in and by its tests), the loadable MODULE <deliverable> (whole archive, so the
# plug-in entry points are kept), the deliverable's translation source catalogue
# <deliverable>.ts (lupdate) and its compiled catalogue <deliverable>_en.qm, and installs
# the plug-in and the catalogue.

# oxa_add_subdirectories([PATTERN])
# Adds, in name order, every folder of the current source folder matching PATTERN (default
# "*") that has a CMakeLists.txt: one folder per deliverable in plugins/, tests/, bench/, fuzz/.
macro(oxa_add_subdirectories)
    set(_oxa_pattern "*")
    if(${ARGC} GREATER 0)
        set(_oxa_pattern "${ARGV0}")
    endif()
    file(GLOB _oxa_subdirs LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}"
         "${CMAKE_CURRENT_SOURCE_DIR}/${_oxa_pattern}")
    list(SORT _oxa_subdirs)
    foreach(_oxa_subdir IN LISTS _oxa_subdirs)
        if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${_oxa_subdir}/CMakeLists.txt")
            add_subdirectory(${_oxa_subdir})
        endif()
    endforeach()
endmacro()

find_program(OXA_LUPDATE NAMES lupdate-qt5 lupdate PATHS /usr/lib/qt5/bin NO_DEFAULT_PATH)
find_program(OXA_LUPDATE NAMES lupdate-qt5 lupdate)
find_program(OXA_LRELEASE NAMES lrelease-qt5 lrelease PATHS /usr/lib/qt5/bin NO_DEFAULT_PATH)
find_program(OXA_LRELEASE NAMES lrelease-qt5 lrelease)

set(OXA_PLUGIN_OUTPUT_DIR "${CMAKE_BINARY_DIR}/plugins" CACHE INTERNAL "")

function(oxa_add_plugin)
    cmake_parse_arguments(P "" "NAME" "SOURCES;LIBS" ${ARGN})
    set(_logic ${P_NAME}-logic)
    add_library(${_logic} STATIC ${P_SOURCES})
    set_target_properties(${_logic} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_include_directories(${_logic} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${_logic} PUBLIC OXA_DELIVERABLE="${P_NAME}")
    target_link_libraries(${_logic} PUBLIC oxa-service-common oxa-common
                          Qt5::Core Qt5::Gui Qt5::Widgets ${P_LIBS})

    add_library(${P_NAME} MODULE)
    set_property(GLOBAL APPEND PROPERTY OXA_PLUGIN_TARGETS ${P_NAME})
    target_link_libraries(${P_NAME} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${_logic}>")
    set_target_properties(${P_NAME} PROPERTIES
        PREFIX "lib"
        LIBRARY_OUTPUT_DIRECTORY "${OXA_PLUGIN_OUTPUT_DIR}"
        INSTALL_RPATH "$ORIGIN/../..")
    install(TARGETS ${P_NAME} LIBRARY DESTINATION ${OXA_PLUGIN_INSTALL_DIR})

    # Translation catalogues: the source catalogue is generated from the sources, never
    # written into the source tree.
    if(OXA_LUPDATE AND OXA_LRELEASE)
        set(_ts "${CMAKE_CURRENT_BINARY_DIR}/${P_NAME}.ts")
        set(_qm "${CMAKE_BINARY_DIR}/translations/${P_NAME}_en.qm")
        set(_abs_sources "")
        foreach(_s IN LISTS P_SOURCES)
            get_filename_component(_a "${_s}" ABSOLUTE)
            list(APPEND _abs_sources "${_a}")
        endforeach()
        # The shared code is compiled into every plug-in, so its texts belong in every
        # plug-in's catalogue too.
        if(TARGET oxa-service-common)
            get_target_property(_common_dir oxa-service-common SOURCE_DIR)
            get_target_property(_common_sources oxa-service-common SOURCES)
            foreach(_s IN LISTS _common_sources)
                get_filename_component(_a "${_s}" ABSOLUTE BASE_DIR "${_common_dir}")
                list(APPEND _abs_sources "${_a}")
            endforeach()
        endif()
        add_custom_command(OUTPUT "${_ts}"
            COMMAND ${OXA_LUPDATE} -silent -no-obsolete ${_abs_sources} -ts "${_ts}"
            DEPENDS ${_abs_sources}
            COMMENT "Generating translation catalogue ${P_NAME}.ts" VERBATIM)
        add_custom_command(OUTPUT "${_qm}"
            COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/translations"
            COMMAND ${OXA_LRELEASE} -silent "${_ts}" -qm "${_qm}"
            DEPENDS "${_ts}" VERBATIM)
        add_custom_target(${P_NAME}-translations ALL DEPENDS "${_qm}")
        # The plug-ins look for their catalogues at this fixed path, whatever the prefix.
        install(FILES "${_qm}" DESTINATION "${OXA_TRANSLATIONS_DIR}")
    endif()
endfunction()

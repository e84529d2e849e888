# The system's layers: one static library per folder, utilities <- mesh <- correction <-
# authoring, each linking only the layers below it.
#
# A static library does not check its own undefined symbols: the final link of a program
# resolves them from whatever else it links, so a call the wrong way (a utilities file calling a
# correction function) would go unnoticed. corretor_layer therefore also links, for each layer,
# a small check program that takes every object of the layer (whole archive) and nothing but
# the layers and libraries the layer declares: any symbol the layer uses from elsewhere fails
# that link, and with it the build (the checks are part of every full build).
function(corretor_layer name)
    cmake_parse_arguments(LAYER "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${LAYER_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${LAYER_DEPENDS})

    add_executable(${name}_dependencias ${PROJECT_SOURCE_DIR}/cmake/layer_check.cpp)
    target_link_libraries(${name}_dependencias PRIVATE
        "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}>" ${LAYER_DEPENDS})
    set_target_properties(${name}_dependencias PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dependencias)
endfunction()

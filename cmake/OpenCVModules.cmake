# Debian's per-module OpenCV packages ship headers and libraries but no CMake package file,
# so the four modules the system uses are found by hand and gathered in one imported target.
find_path(OPENCV_INCLUDE_DIR opencv2/core/core_c.h PATH_SUFFIXES opencv4 REQUIRED)
add_library(opencv_modules INTERFACE IMPORTED)
foreach(module core imgproc imgcodecs highgui)
    find_library(OPENCV_${module}_LIBRARY NAMES opencv_${module} REQUIRED)
    target_link_libraries(opencv_modules INTERFACE ${OPENCV_${module}_LIBRARY})
endforeach()
target_include_directories(opencv_modules SYSTEM INTERFACE ${OPENCV_INCLUDE_DIR})

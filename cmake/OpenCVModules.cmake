# Debian's per-module OpenCV packages ship headers and libraries but no CMake package file, so
# the modules the system uses are found by hand, each as an imported target opencv::<module>.
# A library links only the modules it calls: the window toolkit (highgui) is loaded by the
# programs that open windows and by no other.
find_path(OPENCV_INCLUDE_DIR opencv2/core/core_c.h PATH_SUFFIXES opencv4 REQUIRED)
foreach(module core imgproc imgcodecs highgui features2d calib3d video videoio flann)
    find_library(OPENCV_${module}_LIBRARY NAMES opencv_${module} REQUIRED)
    add_library(opencv::${module} SHARED IMPORTED)
    set_target_properties(opencv::${module} PROPERTIES
        IMPORTED_LOCATION ${OPENCV_${module}_LIBRARY}
        INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${OPENCV_INCLUDE_DIR}
        INTERFACE_INCLUDE_DIRECTORIES ${OPENCV_INCLUDE_DIR})
endforeach()

# OpenCV's tracker for the regions an export blurs and follows: Debian's core modules alone
# (libopencv-video-dev and what it pulls in), which ship neither a pkg-config file nor a CMake
# package (those come with libopencv-dev and its contrib modules). Gives OpenCV::Tracking.
find_path(OPENCV_TRACKING_INCLUDE_DIR opencv2/video/tracking.hpp PATH_SUFFIXES opencv4 REQUIRED)
set(opencv_tracking_libraries)
foreach(module video imgproc core)
  find_library(OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
  list(APPEND opencv_tracking_libraries ${OPENCV_${module}_LIBRARY})
endforeach()
add_library(OpenCV::Tracking INTERFACE IMPORTED)
set_target_properties(OpenCV::Tracking PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${OPENCV_TRACKING_INCLUDE_DIR}"
  INTERFACE_LINK_LIBRARIES "${opencv_tracking_libraries}")

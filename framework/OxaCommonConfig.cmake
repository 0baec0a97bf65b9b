# CMake package of liboxa-common, the console framework library: the imported target
# Oxa::oxa-common, which brings its include directory and the Qt libraries it needs.
include(CMakeFindDependencyMacro)
find_dependency(Qt5 5.15 COMPONENTS Core Gui Widgets)
include("${CMAKE_CURRENT_LIST_DIR}/OxaCommonTargets.cmake")

# The headers liboxa-common-dev installs, as a plug-in built elsewhere sees them: installs the
# headers' component into a fresh prefix, then compiles one translation unit per header that
# includes it alone, with the installed include directory and Qt's and nothing else. Fails on
# a header that needs one that is not installed (a private one, hostio's), on anything
# installed beyond the listed set or missing from it, on a header of the framework that is
# neither listed nor private (*_p.h), and on an installed header that speaks of hostio.
#
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=<framework/> -DINCLUDE_SUBDIR=include/oxa-common
#       -DHEADERS=a.h|b.h -DCOMPONENT=... -DCXX=... -DQT_INCLUDES=dir|dir -P installedheaders.cmake

cmake_minimum_required(VERSION 3.16)

foreach(_var BUILD_DIR WORK_DIR SOURCE_DIR INCLUDE_SUBDIR HEADERS COMPONENT CXX QT_INCLUDES)
    if(NOT DEFINED ${_var} OR "${${_var}}" STREQUAL "")
        message(FATAL_ERROR "installedheaders: ${_var} not given")
    endif()
endforeach()
string(REPLACE "|" ";" _headers "${HEADERS}")
string(REPLACE "|" ";" _qt_includes "${QT_INCLUDES}")
list(REMOVE_DUPLICATES _qt_includes)

set(_errors "")
set(_problems 0)
# Messages may hold semicolons (compiler output): a string, not a list.
function(_problem text)
    set(_errors "${_errors}${text}\n" PARENT_SCOPE)
    math(EXPR _count "${_problems} + 1")
    set(_problems ${_count} PARENT_SCOPE)
endfunction()

# Every header of the framework is either installed or private.
file(GLOB _sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h")
foreach(_header IN LISTS _sources)
    if(NOT _header IN_LIST _headers AND NOT _header MATCHES "_p\\.h$")
        _problem("${_header} is neither in the installed list (framework/CMakeLists.txt) nor private (*_p.h)")
    endif()
endforeach()

# Install the headers alone.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(_prefix "${WORK_DIR}/prefix")
execute_process(
    COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${_prefix}" --component "${COMPONENT}"
    RESULT_VARIABLE _status OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
if(NOT _status EQUAL 0)
    message(FATAL_ERROR "installedheaders: cmake --install failed (${_status}):\n${_out}")
endif()
set(_include "${_prefix}/${INCLUDE_SUBDIR}")

# Exactly the listed set.
file(GLOB_RECURSE _installed RELATIVE "${_prefix}" LIST_DIRECTORIES false "${_prefix}/*")
set(_expected "")
foreach(_header IN LISTS _headers)
    list(APPEND _expected "${INCLUDE_SUBDIR}/${_header}")
endforeach()
foreach(_file IN LISTS _installed)
    if(NOT _file IN_LIST _expected)
        _problem("installed but not listed: ${_file}")
    endif()
endforeach()
foreach(_file IN LISTS _expected)
    if(NOT _file IN_LIST _installed)
        _problem("listed but not installed: ${_file}")
    endif()
endforeach()

# Each header alone, as a plug-in includes it.
set(_flags -std=c++17 -fPIC -fsyntax-only -Wall -Wextra -Werror
    -DQT_NO_CAST_FROM_BYTEARRAY -DQT_NO_URL_CAST_FROM_STRING -DQT_NO_FOREACH
    "-I${_include}")
foreach(_dir IN LISTS _qt_includes)
    list(APPEND _flags -isystem "${_dir}")
endforeach()
set(_compiled 0)
foreach(_header IN LISTS _headers)
    if(NOT EXISTS "${_include}/${_header}")
        continue()
    endif()
    file(READ "${_include}/${_header}" _text)
    string(TOLOWER "${_text}" _lower)
    if(_lower MATCHES "hostio")
        _problem("${_header} speaks of hostio, which is no part of the interface")
    endif()
    string(REPLACE "." "_" _stem "${_header}")
    set(_unit "${WORK_DIR}/${_stem}.cpp")
    file(WRITE "${_unit}" "#include <${_header}>\n")
    execute_process(COMMAND "${CXX}" ${_flags} "${_unit}"
        RESULT_VARIABLE _status OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
    if(NOT _status EQUAL 0)
        _problem("${_header} does not compile alone against the installed copy:\n${_out}")
    else()
        math(EXPR _compiled "${_compiled} + 1")
    endif()
endforeach()

if(_problems GREATER 0)
    message(FATAL_ERROR "installedheaders: ${_problems} problem(s):\n${_errors}")
endif()
list(LENGTH _headers _count)
message(STATUS "installedheaders: ${_count} headers installed, each compiled alone (${_compiled})")
file(REMOVE_RECURSE "${WORK_DIR}")

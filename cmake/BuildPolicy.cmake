# One interface target carries the build policy; every target in the tree links it.
add_library(quenmar_build_policy INTERFACE)
target_compile_features(quenmar_build_policy INTERFACE cxx_std_17)
target_compile_options(quenmar_build_policy INTERFACE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor)
if(WARNINGS_AS_ERRORS)
    target_compile_options(quenmar_build_policy INTERFACE -Werror)
endif()
target_compile_definitions(quenmar_build_policy INTERFACE
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_DISABLE_DEPRECATED_BEFORE=0x050F00
    QT_USE_QSTRINGBUILDER)

# The version reaches the code through one generated header, "QuenmarVersion.h" (the macro
# QUENMAR_VERSION), on the include path of the few targets that link quenmar_version. Another
# version recompiles only the sources that include it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/QuenmarVersion.h.in ${CMAKE_BINARY_DIR}/generated/version/QuenmarVersion.h
    @ONLY)
add_library(quenmar_version INTERFACE)
target_include_directories(quenmar_version INTERFACE ${CMAKE_BINARY_DIR}/generated/version)

if(SANITIZE)
    string(REPLACE ";" "," _quenmar_sanitizers "${SANITIZE}")
    # Every finding ends the process, so that undefined behaviour fails its test instead of
    # scrolling past in the output.
    target_compile_options(quenmar_build_policy INTERFACE -fsanitize=${_quenmar_sanitizers} -fno-omit-frame-pointer
        -fno-sanitize-recover=all)
    target_link_options(quenmar_build_policy INTERFACE -fsanitize=${_quenmar_sanitizers})
endif()

# Sanitized runs are several times slower; QUENMAR_TEST_TIMEOUT_FACTOR scales every test's time limit.
set(QUENMAR_TEST_TIMEOUT_FACTOR 1 CACHE STRING "Factor applied to the time limit of every test")

if(BUILD_FUZZERS)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "BUILD_FUZZERS needs clang (configure with CXX=clang++ CC=clang)")
    endif()
    # Instrument everything for coverage; only the fuzz targets link the libFuzzer main.
    target_compile_options(quenmar_build_policy INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
    target_link_options(quenmar_build_policy INTERFACE -fsanitize=address,undefined)
endif()

# Adds every subdirectory of the calling directory that has its own CMakeLists.txt.
# Test, benchmark and tool areas register themselves this way, so adding an area
# never touches a shared list.
function(quenmar_add_child_directories)
    cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
    file(GLOB _children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT _children)
    foreach(_child IN LISTS _children)
        if(_child IN_LIST ARG_EXCLUDE)
            continue()
        endif()
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
            add_subdirectory(${_child})
        endif()
    endforeach()
endfunction()

# quenmar_add_qtest(NAME name SOURCES a.cpp ... LIBRARIES lib ... [LABELS ...] [TIMEOUT seconds])
# One QtTest executable registered with CTest, run on the offscreen platform.
function(quenmar_add_qtest)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "SOURCES;LIBRARIES;LABELS" ${ARGN})
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    set_target_properties(${ARG_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${ARG_NAME} PRIVATE quenmar_build_policy Qt5::Test ${ARG_LIBRARIES})
    target_compile_definitions(${ARG_NAME} PRIVATE
        QUENMAR_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
        QUENMAR_BINARY_DIR="${CMAKE_BINARY_DIR}")
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * ${QUENMAR_TEST_TIMEOUT_FACTOR}")
    set_tests_properties(${ARG_NAME} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        TIMEOUT ${ARG_TIMEOUT}
        LABELS "${ARG_LABELS}")
endfunction()

# quenmar_add_component(NAME name [DEPENDS target ...] [PRIVATE_DEPENDS target ...])
# A static library quenmar_<name> from the .cpp and .h files of the calling folder (not
# recursive). Headers are included as "<folder>/<Header>.h" relative to the parent of the
# component folder, so the tree stays one include root per subsystem.
function(quenmar_add_component)
    cmake_parse_arguments(ARG "" "NAME" "DEPENDS;PRIVATE_DEPENDS" ${ARGN})
    file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
        ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
    add_library(quenmar_${ARG_NAME} STATIC ${_sources})
    target_include_directories(quenmar_${ARG_NAME} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/.. ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(quenmar_${ARG_NAME} PUBLIC quenmar_build_policy Qt5::Core ${ARG_DEPENDS}
        PRIVATE ${ARG_PRIVATE_DEPENDS})
endfunction()

# quenmar_add_fuzzer(NAME name SOURCES a.cpp ... LIBRARIES lib ...)
# A libFuzzer target (only with -DBUILD_FUZZERS=ON and clang); binaries land in build/fuzz.
function(quenmar_add_fuzzer)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    set_target_properties(${ARG_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    target_link_libraries(${ARG_NAME} PRIVATE quenmar_build_policy ${ARG_LIBRARIES})
    target_link_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer)
endfunction()

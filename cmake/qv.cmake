# Shared build settings for the qv targets.

# Our own code builds warning-free; third-party code (GoogleTest) keeps its own flags.
# The warning options are for the C++ compiler only: the resource compiler takes none.
function(qv_target_defaults target)
  if(MSVC)
    set(options /W4 /WX /utf-8 /permissive-)
  else()
    set(options -Wall -Wextra -Wpedantic -Werror)
  endif()
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${options}>")
  if(WIN32)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
  endif()
  if(MINGW OR QV_LINUX_RELEASE)
    qv_reproducible(${target})
  endif()
endfunction()

# The same commit gives the same bytes wherever it is built: no build folder in the
# objects (the later map wins, so the build folder inside the source tree is named
# "build") and no time stamp in the PE header. Linux programs carry no time stamp; a
# native build for developers keeps its real paths, which its debugger needs.
function(qv_reproducible target)
  set(maps -ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${maps}>")
  if(MINGW)
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
  endif()
endfunction()

# A program shipped to Windows users: the version resource and the application
# manifest of cmake/windows_program.rc, filled in for this program.
#   qv_windows_program(qv "Device and driver inventory")
function(qv_windows_program target description)
  set(QV_PROGRAM_NAME ${target})
  set(QV_PROGRAM_DESCRIPTION ${description})
  set(QV_VERSION_TWEAK_OR_ZERO 0)
  if(PROJECT_VERSION_TWEAK)
    set(QV_VERSION_TWEAK_OR_ZERO ${PROJECT_VERSION_TWEAK})
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows_program.h.in ${dir}/windows_program.h @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/windows_program.rc)
  # The .rc finds the generated header and the manifest on its include path.
  target_include_directories(${target} PRIVATE ${dir} ${PROJECT_SOURCE_DIR}/cmake)
  # The PE header's image version too, given to the linker directly: the target's
  # VERSION property would also make the program a symbolic link to a versioned
  # file, which tar, cp -a and file shares hand on as a link. CMake's own image
  # version option (0.0 without the property) stands after the link options, so
  # this one goes with the libraries, which come later still.
  if(MINGW)
    target_link_libraries(${target} PRIVATE
      -Wl,--major-image-version,${PROJECT_VERSION_MAJOR},--minor-image-version,${PROJECT_VERSION_MINOR})
  elseif(MSVC)
    target_link_options(${target} PRIVATE /VERSION:${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
  endif()
  if(MSVC)
    # The .rc embeds the manifest; the linker must not add one of its own.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
endfunction()

# A program whose entry point is wmain, so that it gets its arguments as UTF-16.
function(qv_wide_entry target)
  if(MINGW)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()

function(qv_find_googletest)
  if(CMAKE_CROSSCOMPILING)
    # The host's GoogleTest is built for Linux; build its sources with the cross toolchain.
    set(QV_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(${QV_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest_main)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
endfunction()

include(GoogleTest)

# One test binary per library. Natively each test case is its own ctest entry; under
# Wine a process start costs half a second, so the binary runs once as one entry.
function(qv_add_gtest target)
  qv_target_defaults(${target})
  target_link_libraries(${target} PRIVATE GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine_prefix)
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

function(qv_add_benchmark target)
  qv_target_defaults(${target})
  target_link_libraries(${target} PRIVATE benchmark::benchmark)
  add_dependencies(bench ${target})
endfunction()

# Windows test programs run in a Wine prefix of their own below the build tree.
if(CMAKE_CROSSCOMPILING AND QV_BUILD_TESTS)
  add_test(NAME wine_prefix_setup
           COMMAND sh -c "${CMAKE_CROSSCOMPILING_EMULATOR} wineboot -i >/dev/null 2>&1; wineserver -w")
  set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix)
endif()

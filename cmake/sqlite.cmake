# SQLite for the programs that keep a database, as the target qv-sqlite3:
#   include(cmake/sqlite.cmake)        # once, in the top-level CMakeLists.txt
#   target_link_libraries(qvfleet PRIVATE qv-sqlite3)
# Every build, native and Windows, compiles the same static library from one pinned
# version of Debian's source package, made into the amalgamation by
# scripts/sqlite-source.sh in QV_SQLITE_SOURCE_DIR, with the same options: qvfleet and
# qvfleet.exe accept the same SQL (docs/fleet.md lists the options).
include_guard(GLOBAL)

# A C library; the project itself is C++ only. Here at file scope, as CMake requires.
enable_language(C)
# The programs are linked by the C++ compiler, whose runtime serves SQLite too. When the
# C compiler is another one (the fuzz preset's clang++ beside cc), its own libraries,
# gcc's sanitizer runtimes among them, would clash with the C++ compiler's.
if(NOT CMAKE_C_COMPILER_ID STREQUAL CMAKE_CXX_COMPILER_ID)
  set(CMAKE_C_IMPLICIT_LINK_LIBRARIES "")
  set(CMAKE_C_IMPLICIT_LINK_DIRECTORIES "")
endif()

# The version the script pins names the folder it fills by default.
set(_qv_sqlite_script ${CMAKE_CURRENT_LIST_DIR}/../scripts/sqlite-source.sh)
cmake_path(NORMAL_PATH _qv_sqlite_script)
file(STRINGS ${_qv_sqlite_script} _qv_sqlite_version REGEX "^QV_SQLITE_DEBIAN_VERSION=")
string(REPLACE "QV_SQLITE_DEBIAN_VERSION=" "" _qv_sqlite_version "${_qv_sqlite_version}")
cmake_path(GET _qv_sqlite_script PARENT_PATH _qv_sqlite_default)
cmake_path(APPEND _qv_sqlite_default .. build sqlite ${_qv_sqlite_version})
cmake_path(NORMAL_PATH _qv_sqlite_default)
# A new pin moves a folder left at its default along; a folder chosen by hand stays.
if(NOT DEFINED QV_SQLITE_SOURCE_DIR OR QV_SQLITE_SOURCE_DIR STREQUAL "${QV_SQLITE_DEFAULT_SOURCE_DIR}")
  set(QV_SQLITE_SOURCE_DIR ${_qv_sqlite_default} CACHE PATH
    "Folder with SQLite's sqlite3.c and sqlite3.h (scripts/sqlite-source.sh fills it)" FORCE)
endif()
set(QV_SQLITE_SOURCE_DIR ${_qv_sqlite_default} CACHE PATH
  "Folder with SQLite's sqlite3.c and sqlite3.h (scripts/sqlite-source.sh fills it)")
set(QV_SQLITE_DEFAULT_SOURCE_DIR ${_qv_sqlite_default} CACHE INTERNAL "")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_qv_sqlite_script})

if(NOT EXISTS ${QV_SQLITE_SOURCE_DIR}/sqlite3.c OR NOT EXISTS ${QV_SQLITE_SOURCE_DIR}/sqlite3.h)
  if(QV_SQLITE_SOURCE_DIR STREQUAL _qv_sqlite_default)
    set(_qv_sqlite_command "scripts/sqlite-source.sh")
  else()
    set(_qv_sqlite_command "scripts/sqlite-source.sh ${QV_SQLITE_SOURCE_DIR}")
  endif()
  message(FATAL_ERROR "SQLite's amalgamation is not in ${QV_SQLITE_SOURCE_DIR}: run "
    "${_qv_sqlite_command} (Debian's sqlite3 ${_qv_sqlite_version} source package), then "
    "configure again")
endif()

add_library(qv-sqlite3 STATIC ${QV_SQLITE_SOURCE_DIR}/sqlite3.c)
# SYSTEM: the project's warning flags, -Werror among them, stay off SQLite's header.
target_include_directories(qv-sqlite3 SYSTEM PUBLIC ${QV_SQLITE_SOURCE_DIR})
target_compile_definitions(qv-sqlite3 PRIVATE
  # Serialized threading (a connection may be shared between threads), URI file names,
  # LIKE that never matches a BLOB, up to 250000 bound parameters, the SQL math functions.
  SQLITE_THREADSAFE=1
  SQLITE_USE_URI=1
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_MAX_VARIABLE_NUMBER=250000
  SQLITE_ENABLE_MATH_FUNCTIONS
  # Embedded use. The program still asks for these when it opens a database (PRAGMA
  # foreign_keys and synchronous, sqlite3_db_config with SQLITE_DBCONFIG_DQS_DML and _DDL),
  # so that it does not depend on them:
  SQLITE_DEFAULT_FOREIGN_KEYS=1     # foreign keys are enforced
  SQLITE_DQS=0                      # "x" names a column, never a string
  SQLITE_DEFAULT_WAL_SYNCHRONOUS=1  # NORMAL in WAL mode: durable, fewer flushes
  # No DLL is ever loaded into the program.
  SQLITE_OMIT_LOAD_EXTENSION
  # No count of the memory it holds, which takes a lock on every allocation; the
  # program reads no such count and sets no heap limit.
  SQLITE_DEFAULT_MEMSTATUS=0
)
if(CMAKE_C_COMPILER_ID MATCHES "GNU|Clang")
  # Neither the build folder nor the amalgamation's folder ends up in the object (the
  # later map wins); SQLite's code has no time stamp of its own. The presets' sanitizer
  # and fuzzing flags are the C++ compiler's only; a debug build still optimises SQLite,
  # whose speed the tests of a debug build would otherwise wait for.
  target_compile_options(qv-sqlite3 PRIVATE
    -ffile-prefix-map=${PROJECT_BINARY_DIR}=build
    -ffile-prefix-map=${QV_SQLITE_SOURCE_DIR}=sqlite
    $<$<CONFIG:Debug>:-O2>)
endif()
if(NOT WIN32)
  # The threads of serialized mode and the math functions' libm.
  find_package(Threads REQUIRED)
  target_link_libraries(qv-sqlite3 PUBLIC Threads::Threads m)
endif()

unset(_qv_sqlite_script)
unset(_qv_sqlite_version)
unset(_qv_sqlite_default)
unset(_qv_sqlite_command)

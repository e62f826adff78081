# Makes a C++ source that holds the page's own script and style as they are in
# their files, so that the program carries them and the page needs nothing else.
# Run as a script at build time:
#   cmake -DSCRIPT=page.js -DSTYLE=page.css -DOUT=page_files.cpp -P embed_text.cmake
# A file that holds the end tag of its element would end it early in the page
# (and "<!--" in a script can keep the next end tag from ending it): such a file
# is refused, and so is one that is not there.

function(embedded_bytes path forbidden variable)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "The page's file ${path} is missing.")
  endif()
  file(READ "${path}" text)
  # A checkout with CR LF line ends gives the same page as one with LF.
  string(REPLACE "\r\n" "\n" text "${text}")
  string(TOLOWER "${text}" lower)
  foreach(tag IN LISTS forbidden)
    string(FIND "${lower}" "${tag}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "The page's file ${path} holds \"${tag}\", which would end its "
                          "element in the page early: write it another way, such as \"<\\/\".")
    endif()
  endforeach()
  string(HEX "${text}" hex)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
  set(${variable} "${bytes}" PARENT_SCOPE)
endfunction()

embedded_bytes("${SCRIPT}" "</script;<!--" script_bytes)
embedded_bytes("${STYLE}" "</style" style_bytes)

set(source "// Made by cmake/embed_text.cmake from ${SCRIPT} and ${STYLE}; edit those.
#include \"page_files.h\"

namespace qv {
namespace {

// A zero at the end keeps an empty file's array legal; it is not part of the text.
constexpr unsigned char kScript[] = {
    ${script_bytes}0};
constexpr unsigned char kStyle[] = {
    ${style_bytes}0};

}  // namespace

std::string_view page_script() {
  return {reinterpret_cast<const char*>(kScript), sizeof kScript - 1};
}

std::string_view page_style() {
  return {reinterpret_cast<const char*>(kStyle), sizeof kStyle - 1};
}

}  // namespace qv
")
# Written only when it changed, so that a build after a touch compiles nothing.
file(CONFIGURE OUTPUT "${OUT}" CONTENT "${source}" @ONLY)

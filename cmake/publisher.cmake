# What a publisher sets without touching the code: where the setup downloads the launcher's
# package from, the web site the uninstall entry names, and the version of the setup, the sample
# programs and the uninstall entry. scripts/release passes them (--url, --site, --version); the
# defaults are the project's own release. Included before project(), so that a bad value stops the
# configure step at once, with one line naming the variable and what is wrong with it.
#
# The values reach the programs through two generated files only:
#   BUILD/generated/publisher.h   C++ (wide texts) and the setup's resources (the version numbers)
#   the sample's resources and manifests, configured from sample/*.in
# Everything else about the product (its name, texts, icon, the setup's own manifest identity) is
# fixed.

set(ZENKA_DOWNLOAD_URL "https://releases.zenka-launcher.net/releases/stable/ZENKA-latest-full.zip"
    CACHE STRING "Package the setup downloads when no --url is given (http or https)")
set(ZENKA_SITE_URL "https://zenka.app"
    CACHE STRING "Publisher's web site for the uninstall entry (https, scheme and host only)")
set(ZENKA_VERSION "2.1.0"
    CACHE STRING "Version of the setup, the sample programs and the uninstall entry (2.1.0 or 2.1.0.0)")

# The leading space keeps CMake from wrapping the message: the reason stays on one line.
function(zenka_reject variable reason)
  message(FATAL_ERROR " ${variable} \"${${variable}}\" ${reason}")
endfunction()

# Letters, digits and the few marks a host name, an IPv4 or a bracketed IPv6 address holds.
set(zenka_host "([A-Za-z0-9][A-Za-z0-9.-]*|\\[[0-9A-Fa-f:.]+\\])")

# zenka_check_address(VARIABLE SCHEMES...): the value is SCHEME://HOST[:PORT] and what follows it
# (path, query) uses only the printable ASCII that a URL may hold. The values end up in C++ string
# literals, so quotes, backslashes, spaces and anything outside ASCII are refused, not escaped.
# Sets zenka_rest in the caller to what follows the host and port.
function(zenka_check_address variable)
  set(value "${${variable}}")
  string(REPLACE ";" "|" schemes "${ARGN}")
  string(REPLACE ";" ":// or " named "${ARGN}")
  if(NOT value MATCHES "^(${schemes})://")
    zenka_reject(${variable} "must start with ${named}://")
  endif()
  if(NOT value MATCHES "^[]A-Za-z0-9._~:/?@!$&'()*+,;=%[-]*$")
    zenka_reject(${variable} "holds a character a URL cannot (a space, quote, backslash, # or non-ASCII)")
  endif()
  if(NOT value MATCHES "^(${schemes})://${zenka_host}(:[0-9]+)?([/?].*)?$")
    zenka_reject(${variable} "has no host name or address after ://, or a bad one")
  endif()
  if(value MATCHES "^[a-z]+://${zenka_host}:([0-9]+)")
    set(port "${CMAKE_MATCH_2}")
    string(LENGTH "${port}" digits)
    if(digits GREATER 5 OR port EQUAL 0 OR port GREATER 65535)
      zenka_reject(${variable} "has a port outside 1-65535")
    endif()
  endif()
  string(REGEX REPLACE "^[a-z]+://${zenka_host}(:[0-9]+)?" "" rest "${value}")
  set(zenka_rest "${rest}" PARENT_SCOPE)
endfunction()

zenka_check_address(ZENKA_DOWNLOAD_URL http https)
zenka_check_address(ZENKA_SITE_URL https)
if(NOT zenka_rest STREQUAL "")
  zenka_reject(ZENKA_SITE_URL "must be scheme and host only, with no path (not even /), query or fragment")
endif()

if(NOT ZENKA_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+(\\.[0-9]+)?$")
  zenka_reject(ZENKA_VERSION "must be three or four numbers separated by dots, such as 2.1.0")
endif()
string(REPLACE "." ";" zenka_version_numbers "${ZENKA_VERSION}")
foreach(number IN LISTS zenka_version_numbers)
  string(LENGTH "${number}" digits)
  if(number MATCHES "^0[0-9]")
    zenka_reject(ZENKA_VERSION "has a number with a leading zero")
  elseif(digits GREATER 5 OR number GREATER 65535)
    zenka_reject(ZENKA_VERSION "has a number over 65535, more than a version block holds")
  endif()
endforeach()

# The version blocks and manifests always carry four numbers: 2.1.0 is 2.1.0.0 there.
list(LENGTH zenka_version_numbers zenka_version_count)
if(zenka_version_count EQUAL 3)
  list(APPEND zenka_version_numbers 0)
endif()
string(REPLACE ";" "." ZENKA_VERSION_QUAD "${zenka_version_numbers}")
string(REPLACE ";" "," ZENKA_VERSION_FIXED "${zenka_version_numbers}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/publisher.h.in ${CMAKE_BINARY_DIR}/generated/publisher.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
